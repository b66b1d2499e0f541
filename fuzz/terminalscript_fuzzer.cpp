// Two properties of the terminal script reader. Arbitrary text must be read
// or refused without a crash. And a launch script built from arbitrary
// project texts must read back with the project's commands exactly as stored
// (double quotes turned into single quotes), so no text can break out of its
// string.
#include "platform/terminalscriptrunner.h"
#include "projects/launchscript.h"
#include "projects/projectstore.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const zarvo::ParsedTerminalScript parsed = zarvo::parseTerminalScript(text);
    for (const QStringList& window : parsed.script.windows) {
        zarvo::windowShellProgram(window);
    }

    // Fields: path, commands, custom open, editor, terminal; one per line.
    text.remove(QChar(0));
    QStringList fields = text.split(QLatin1Char('\n'));
    while (fields.size() < 5) {
        fields << QString();
    }
    const zarvo::ProjectEntry entry{{zarvo::entry_key::filePath, fields[0]},
                                    {zarvo::entry_key::commands, fields[1]},
                                    {zarvo::entry_key::customOpen, fields[2]},
                                    {zarvo::entry_key::doPull, QStringLiteral("1")}};
    const zarvo::LaunchSettings settings{{zarvo::setting_key::editorCommand, fields[3]},
                                         {zarvo::setting_key::terminal, fields[4]}};
    for (bool isFolder : {true, false}) {
        const QString script = zarvo::buildLaunchScript(entry, settings, isFolder);
        const zarvo::ParsedTerminalScript back = zarvo::parseTerminalScript(script);
        if (!back.error.isEmpty() || back.script.windows.size() != 1) {
            __builtin_trap();
        }
        QString commands = fields[1];
        commands.replace(QLatin1Char('"'), QLatin1Char('\''));
        if (!commands.isEmpty() && commands != QLatin1String("(null)") &&
            !back.script.windows[0].contains(commands)) {
            __builtin_trap();
        }
    }
    return 0;
}
