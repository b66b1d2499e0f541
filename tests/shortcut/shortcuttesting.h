#pragma once

#include "platform/defaultsstore.h"
#include "platform/memoryhotkeyservice.h"
#include "shortcut/shortcut.h"
#include "support/wait.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace zarvo::test {

// Creates the process's QApplication on first call and keeps it.
void ensureShortcutApplication();

// Control+Alt+Super, the default shortcut's modifiers.
inline constexpr quint64 kControlAltSuper =
    modifier::kControl | modifier::kOption | modifier::kCommand;

// Sets environment variables while it lives; the old values come back after.
class ScopedEnvironment final {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    void set(const char* name, const QByteArray& value);
    void unset(const char* name);

private:
    void remember(const char* name);
    std::map<QByteArray, std::optional<QByteArray>> saved_;
};

// The environment's keymap is a plain US keyboard while it lives.
class UsKeyboard final {
public:
    UsKeyboard();
    void setLayout(const QByteArray& layout) { environment_.set("XKB_DEFAULT_LAYOUT", layout); }

private:
    ScopedEnvironment environment_;
};

// A user-defaults store in a temporary directory, installed as the standard
// one while it lives.
class TempDefaults final {
public:
    TempDefaults();
    ~TempDefaults();
    TempDefaults(const TempDefaults&) = delete;
    TempDefaults& operator=(const TempDefaults&) = delete;
    DefaultsStore& store() { return *store_; }
    QString path() const { return store_->path(); }

private:
    QTemporaryDir dir_;
    std::unique_ptr<DefaultsStore> store_;
};

// An in-memory hot key service installed in services() while it lives; the
// process's hot keys and bindings start afresh and are dropped after.
class MemoryHotKeys final {
public:
    MemoryHotKeys();
    ~MemoryHotKeys();
    MemoryHotKeys(const MemoryHotKeys&) = delete;
    MemoryHotKeys& operator=(const MemoryHotKeys&) = delete;
    MemoryHotKeyService& service() { return service_; }

private:
    MemoryHotKeyService service_;
    HotKeyService* previous_ = nullptr;
};

} // namespace zarvo::test
