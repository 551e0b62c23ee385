#include "panel/macro_encoding.h"

#include <algorithm>
#include <vector>

namespace panel {

namespace {

constexpr int kCommandChars = 10;
constexpr std::uint8_t kKeyDown = 0x01, kKeyUp = 0x81, kDelay = 0x7F;
constexpr std::size_t kHeaderBytes = 2, kEndBytes = 2;

using Event = std::vector<std::uint8_t>;

void appendKey(std::vector<Event>& events, std::uint8_t kind, const QString& name,
               MacroKeyCodes& codes) {
    const std::uint8_t code = codes[name];
    if (code != 0) events.push_back({kind, code});
}

std::vector<Event> macroEvents(const QStringList& lines, MacroKeyCodes& codes) {
    std::vector<Event> events;
    for (const QString& line : lines) {
        const QString command = line.right(kCommandChars);
        const QString value = line.left(line.size() - command.size());
        if (command == "    [Down]") {
            appendKey(events, kKeyDown, value, codes);
        } else if (command == "      [Up]") {
            appendKey(events, kKeyUp, value, codes);
        } else if (command == "   [Delay]") {
            const int d = value.toInt();
            if (d != 0)
                events.push_back(
                    {kDelay, 0, std::uint8_t((d / 2560) & 0xFF), std::uint8_t((d / 10) & 0xFF)});
        }
    }
    return events;
}

} // namespace

QList<std::uint8_t> macroIncode(const QStringList& lines, MacroKeyCodes& codes) {
    QList<std::uint8_t> out{0x00, 0x01};
    for (const Event& e : macroEvents(lines, codes))
        for (std::uint8_t b : e) out.append(b);
    out.append(0x00);
    out.append(0x00);
    return out;
}

MacroBlock macroBlockFor(const QStringList& lines, MacroKeyCodes& codes, unsigned repeat) {
    MacroBlock block{};
    std::size_t at = kHeaderBytes;
    // Whole events only, so that the end marker always fits behind them.
    for (const Event& e : macroEvents(lines, codes)) {
        if (at + e.size() + kEndBytes > block.size()) break;
        std::copy(e.begin(), e.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
        at += e.size();
    }
    block[0] = static_cast<std::uint8_t>(repeat >> 8);
    block[1] = static_cast<std::uint8_t>(repeat & 0xFF);
    return block;
}

} // namespace panel
