#pragma once

#include <QString>

#include <utility>

namespace zarvo {

// The outcome of a call that can fail: empty error means success.
struct Status {
    QString error;
    bool ok() const { return error.isEmpty(); }
    static Status success() { return {}; }
    static Status failure(QString message) { return {std::move(message)}; }
};

} // namespace zarvo
