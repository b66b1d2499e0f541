#include "platform/terminalemulators.h"

#include <QFileInfo>
#include <QSet>

#include <optional>

namespace zarvo {
namespace {

// How one emulator takes the window's title and the command it runs.
struct Convention {
    QLatin1String name;
    // The title as TITLEOPTION VALUEPREFIX+TITLE, or, when JOINED, as the one
    // argument TITLEOPTION+TITLE (which keeps a title that begins with "-"
    // from reading as an option). No title when TITLEOPTION is empty.
    QLatin1String titleOption;
    QLatin1String titleValuePrefix;
    bool joined;
    // Options that keep the programs in the window from replacing the title
    // (a prompt that sets it, as Debian's default .bashrc does).
    QStringList keepTitle;
    QStringList beforeCommand;
    // The command as one string that the emulator splits like shell words.
    bool commandAsOneString = false;
    bool waylandOnly = false;
};

QLatin1String l1(const char* text)
{
    return QLatin1String(text);
}

QStringList w(std::initializer_list<const char*> words)
{
    QStringList list;
    for (const char* word : words) {
        list << QString::fromLatin1(word);
    }
    return list;
}

const QList<Convention>& conventions()
{
    // Checked against the emulators of Debian 12; x-terminal-emulator has
    // what Debian's policy asks of every alternative for it: -T and -e.
    static const QList<Convention> table{
        {l1("xterm"), l1("-T"), {}, false, w({"-xrm", "*allowTitleOps: false"}), w({"-e"})},
        {l1("lxterm"), l1("-T"), {}, false, w({"-xrm", "*allowTitleOps: false"}), w({"-e"})},
        {l1("uxterm"), l1("-T"), {}, false, w({"-xrm", "*allowTitleOps: false"}), w({"-e"})},
        {l1("urxvt"), l1("-title"), {}, false, {}, w({"-e"})},
        {l1("st"), l1("-t"), {}, false, {}, w({"-e"})},
        {l1("stterm"), l1("-t"), {}, false, {}, w({"-e"})},
        {l1("kitty"), l1("--title="), {}, true, {}, w({"--"})},
        {l1("alacritty"),
         l1("--title="),
         {},
         true,
         w({"-o", "window.dynamic_title=false"}),
         w({"-e"})},
        {l1("xfce4-terminal"),
         l1("--title="),
         {},
         true,
         w({"--dynamic-title-mode=none"}),
         w({"-x"})},
        {l1("gnome-terminal"), l1("--title="), {}, true, {}, w({"--"})},
        {l1("konsole"), l1("-p"), l1("tabtitle="), false, {}, w({"-e"})},
        {l1("tilix"), l1("--title="), {}, true, {}, w({"-e"})},
        {l1("terminator"), l1("--title="), {}, true, {}, w({"-x"})},
        {l1("mate-terminal"), l1("--title="), {}, true, {}, w({"-x"})},
        {l1("lxterminal"), l1("--title="), {}, true, {}, w({"-e"})},
        {l1("sakura"), l1("--title="), {}, true, {}, w({"-x"}), true},
        {l1("qterminal"), {}, {}, false, {}, w({"-e"})},
        {l1("foot"),
         l1("--title="),
         {},
         true,
         w({"-o", "locked-title=yes"}),
         w({"--"}),
         false,
         true},
        {l1("footclient"), l1("--title="), {}, true, {}, w({"--"}), false, true},
        {l1("x-terminal-emulator"), l1("-T"), {}, false, {}, w({"-e"})},
    };
    return table;
}

const Convention* conventionFor(const QString& name)
{
    for (const Convention& convention : conventions()) {
        if (name == convention.name) {
            return &convention;
        }
    }
    return nullptr;
}

// The emulators tried when nothing names one, most desktop-like first.
const char* const kDefaultEmulators[] = {
    "gnome-terminal", "konsole",   "xfce4-terminal", "mate-terminal", "tilix",     "terminator",
    "kitty",          "alacritty", "foot",           "lxterminal",    "qterminal", "sakura",
    "urxvt",          "st",        "xterm",
};

QString singleQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// TEXT split into words as a shell splits them, with its quotes and
// backslashes removed; nothing is expanded. Absent when a quote is not closed.
std::optional<QStringList> shellWords(const QString& text)
{
    QStringList words;
    QString word;
    bool inWord = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inWord) {
                words << word;
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\'')) {
            const qsizetype close = text.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0) {
                return std::nullopt;
            }
            word += text.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == QLatin1Char('"')) {
            for (++i; i < size && text[i] != QLatin1Char('"'); ++i) {
                if (text[i] == QLatin1Char('\\') && i + 1 < size &&
                    QStringView(u"$`\"\\\n").contains(text[i + 1])) {
                    ++i;
                    if (text[i] == QLatin1Char('\n')) {
                        continue;
                    }
                }
                word += text[i];
            }
            if (i >= size) {
                return std::nullopt;
            }
        } else if (c == QLatin1Char('\\')) {
            if (++i < size && text[i] != QLatin1Char('\n')) {
                word += text[i];
            }
        } else {
            word += c;
        }
    }
    if (inWord) {
        words << word;
    }
    return words;
}

// An emulator found on PATH, as the program to start and the name its
// convention is looked up by.
struct Emulator {
    QString program;
    QString name;
};

// FOUND, or the known emulator it links to: x-terminal-emulator and other
// alternatives are links, and Debian's NAME.wrapper scripts translate xterm's
// options for NAME, so NAME itself is started with its own.
Emulator identify(const QString& found, const ExecutableLookup& findExecutable,
                  const LinkResolver& resolveLinks)
{
    const QString given = QFileInfo(found).fileName();
    const QString resolved = resolveLinks(found);
    QString real = QFileInfo(resolved).fileName();
    const bool wrapper = real.endsWith(QLatin1String(".wrapper"));
    if (wrapper) {
        real.chop(int(qstrlen(".wrapper")));
    }
    if (real != given && conventionFor(real)) {
        const QString program = wrapper ? findExecutable(real) : resolved;
        if (!program.isEmpty()) {
            return {program, real};
        }
    }
    return {found, given};
}

} // namespace

QStringList emulatorCommandLine(const QString& name, const QString& program,
                                const QStringList& options, const QString& title,
                                const QStringList& shellCommand)
{
    static const Convention unknown{{}, {}, {}, false, {}, w({"-e"})};
    const Convention* found = conventionFor(name);
    const Convention& convention = found ? *found : unknown;
    QStringList line{program};
    line += options;
    if (!title.isEmpty() && !convention.titleOption.isEmpty()) {
        if (convention.joined) {
            line << convention.titleOption + title;
        } else {
            line << convention.titleOption << convention.titleValuePrefix + title;
        }
        line += convention.keepTitle;
    }
    line += convention.beforeCommand;
    if (convention.commandAsOneString) {
        QStringList quoted;
        for (const QString& word : shellCommand) {
            quoted << singleQuoted(word);
        }
        line << quoted.join(QLatin1Char(' '));
    } else {
        line += shellCommand;
    }
    return line;
}

bool needsWayland(const QString& name)
{
    const Convention* convention = conventionFor(name);
    return convention && convention->waylandOnly;
}

TerminalCandidates terminalCandidates(const QStringList& shellCommand, const QString& title,
                                      const QProcessEnvironment& env,
                                      const ExecutableLookup& findExecutable,
                                      const LinkResolver& resolveLinks)
{
    TerminalCandidates result;
    QSet<QString> seen;
    const bool wayland = !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
    const auto fail = [&result](const QString& problem) {
        result.candidates.clear();
        result.problem = problem;
        return result;
    };
    // Adds EMULATOR unless it is there already or cannot open a window here.
    const auto add = [&](const QString& label, const Emulator& emulator,
                         const QStringList& commandLine) {
        const QString real = resolveLinks(emulator.program);
        if (seen.contains(real)) {
            return;
        }
        seen.insert(real);
        if (!wayland && needsWayland(emulator.name)) {
            result.candidates.append(
                {label,
                 {},
                 QStringLiteral("it needs a Wayland display and WAYLAND_DISPLAY is not set")});
            return;
        }
        result.candidates.append({label, commandLine, {}});
    };
    // The words of the variable VARIABLE, the first of them found on PATH.
    const auto configured = [&](const QString& variable) -> std::optional<QStringList> {
        const QString value = env.value(variable);
        const std::optional<QStringList> words = shellWords(value);
        if (!words) {
            result.problem = QStringLiteral("$%1 (%2) has an unclosed quote").arg(variable, value);
            return std::nullopt;
        }
        if (words->isEmpty()) {
            return QStringList();
        }
        const QString found = findExecutable(words->first());
        if (found.isEmpty()) {
            result.problem = QStringLiteral("$%1 names \"%2\", which is not an executable on PATH")
                                 .arg(variable, words->first());
            return std::nullopt;
        }
        QStringList resolved = *words;
        resolved.first() = found;
        return resolved;
    };

    const std::optional<QStringList> own = configured(QStringLiteral("ZARVO_TERMINAL"));
    if (!own) {
        return fail(result.problem);
    }
    if (!own->isEmpty()) {
        add(QStringLiteral("$ZARVO_TERMINAL (%1)").arg(QFileInfo(own->first()).fileName()),
            {own->first(), QString()}, *own + shellCommand);
    }
    if (const QString found = findExecutable(QStringLiteral("xdg-terminal-exec"));
        !found.isEmpty()) {
        add(QStringLiteral("xdg-terminal-exec"), {found, QStringLiteral("xdg-terminal-exec")},
            QStringList{found} + shellCommand);
    }
    const std::optional<QStringList> terminal = configured(QStringLiteral("TERMINAL"));
    if (!terminal) {
        return fail(result.problem);
    }
    if (!terminal->isEmpty()) {
        const Emulator emulator = identify(terminal->first(), findExecutable, resolveLinks);
        add(QStringLiteral("$TERMINAL (%1)").arg(emulator.name), emulator,
            emulatorCommandLine(emulator.name, emulator.program, terminal->mid(1), title,
                                shellCommand));
    }
    if (const QString found = findExecutable(QStringLiteral("x-terminal-emulator"));
        !found.isEmpty()) {
        const Emulator emulator = identify(found, findExecutable, resolveLinks);
        const QString label = emulator.name == QLatin1String("x-terminal-emulator")
                                  ? emulator.name
                                  : QStringLiteral("x-terminal-emulator (%1)").arg(emulator.name);
        add(label, emulator,
            emulatorCommandLine(emulator.name, emulator.program, {}, title, shellCommand));
    }
    for (const char* name : kDefaultEmulators) {
        if (const QString found = findExecutable(QLatin1String(name)); !found.isEmpty()) {
            add(l1(name), {found, l1(name)},
                emulatorCommandLine(l1(name), found, {}, title, shellCommand));
        }
    }
    return result;
}

} // namespace zarvo
