#include "platform/services.h"

namespace zarvo {

Services& services()
{
    static Services installed;
    return installed;
}

} // namespace zarvo
