// Runs the panel's name filter on arbitrary texts and names (any bytes, read
// as UTF-8) and checks it against the plain definition: fold both, then
// prefix for a one-character text, substring otherwise.
#include "panel/projectsearch.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first line is the search text, every further line a project name.
    const QString input = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList lines = input.split(QLatin1Char('\n'));
    const QString text = lines.takeFirst();
    const zarvo::ProjectSearch search(text);
    const QString key = zarvo::searchKey(text);
    for (const QString& name : lines) {
        const QString folded = zarvo::searchKey(name);
        bool expected = false;
        // A text that folds to nothing (a lone combining mark) matches
        // nothing, as an empty string is never found in another.
        if (!key.isEmpty()) {
            expected = text.size() == 1 ? folded.startsWith(key) : folded.contains(key);
        }
        if (search.matches(name) != expected) {
            __builtin_trap();
        }
    }
    search.filter(lines);
    return 0;
}
