#include "panel/projectsearch.h"

#include <QChar>
#include <QVarLengthArray>

#include <algorithm>
#include <array>

namespace zarvo {
namespace {

bool isDroppedMark(char32_t ucs4)
{
    switch (QChar::category(ucs4)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

// Most names are folded one character at a time through a table built from
// the general folding once. It covers the scripts in which no character
// combines with the one after it, except combining marks, which are dropped
// anyway: Latin, Greek, Cyrillic and the combining diacritical marks. A name
// with any other character takes the general path.
constexpr char16_t kTableEnd = 0x2000;
constexpr char16_t kSlowPath = 0;     // not in the table
constexpr char16_t kDropped = 0xFFFF; // a combining mark: nothing in the key

bool inTableRange(char16_t c)
{
    return c < 0x0530                      // Latin, combining marks, Greek, Cyrillic
           || (c >= 0x1E00 && c < 0x2000); // Latin and Greek extended
}

const std::array<char16_t, kTableEnd>& foldTable()
{
    static const std::array<char16_t, kTableEnd> table = [] {
        std::array<char16_t, kTableEnd> t{};
        for (char16_t c = 0; c < kTableEnd; ++c) {
            if (!inTableRange(c)) {
                continue;
            }
            const QChar ch(c);
            const QString key = searchKey(QStringView(&ch, 1));
            t[c] = key.isEmpty() ? kDropped : key.size() == 1 ? key.front().unicode() : kSlowPath;
        }
        return t;
    }();
    return table;
}

// A name's key built on the stack; names up to this length need no heap.
using KeyBuffer = QVarLengthArray<char16_t, 128>;

// Folds NAME through the table into OUT. False when a character of NAME is
// not in the table, in which case OUT is unusable.
bool foldByTable(QStringView name, KeyBuffer& out)
{
    const auto& table = foldTable();
    out.resize(name.size());
    qsizetype n = 0;
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        const char16_t folded = c < kTableEnd ? table[c] : kSlowPath;
        if (folded == kSlowPath) {
            return false;
        }
        if (folded != kDropped) {
            out[n++] = folded;
        }
    }
    out.resize(n);
    return true;
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

QString searchKey(QStringView text)
{
    QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    // Drop the combining marks in place, minding surrogate pairs.
    qsizetype out = 0;
    const qsizetype size = decomposed.size();
    QChar* data = decomposed.data();
    for (qsizetype i = 0; i < size;) {
        qsizetype width = 1;
        char32_t ucs4 = data[i].unicode();
        if (data[i].isHighSurrogate() && i + 1 < size && data[i + 1].isLowSurrogate()) {
            ucs4 = QChar::surrogateToUcs4(data[i], data[i + 1]);
            width = 2;
        }
        if (!isDroppedMark(ucs4)) {
            for (qsizetype k = 0; k < width; ++k) {
                data[out++] = data[i + k];
            }
        }
        i += width;
    }
    decomposed.truncate(out);
    // Recomposing keeps what decomposition split without a mark (Hangul
    // syllables) as one character, so "하" does not match inside "한".
    return decomposed.normalized(QString::NormalizationForm_C).toCaseFolded();
}

ProjectSearch::ProjectSearch(const QString& text)
    : key_(searchKey(text)), prefix_(text.size() == 1), keyIsAscii_(isAscii(key_)),
      // The empty text, and a text of nothing but combining marks, list nothing.
      matchesNothing_(key_.isEmpty())
{
}

bool ProjectSearch::matchesAscii(QStringView name) const
{
    if (!keyIsAscii_) {
        return false; // an ASCII name's key is ASCII too
    }
    const auto lower = [](char16_t c) -> char16_t { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
    const qsizetype n = name.size();
    const qsizetype m = key_.size();
    const char16_t* hay = name.utf16();
    const char16_t* needle = QStringView(key_).utf16();
    const qsizetype lastStart = prefix_ ? 0 : n - m;
    for (qsizetype start = 0; start <= lastStart && m <= n; ++start) {
        qsizetype k = 0;
        while (k < m && lower(hay[start + k]) == needle[k]) {
            ++k;
        }
        if (k == m) {
            return true;
        }
    }
    return false;
}

bool ProjectSearch::matches(QStringView name) const
{
    if (matchesNothing_) {
        return false;
    }
    if (isAscii(name)) {
        return matchesAscii(name);
    }
    const auto test = [this](QStringView folded) {
        return prefix_ ? folded.startsWith(key_) : folded.contains(key_);
    };
    KeyBuffer buffer;
    if (foldByTable(name, buffer)) {
        return test(QStringView(buffer.data(), buffer.size()));
    }
    return test(searchKey(name));
}

QStringList ProjectSearch::filter(const QStringList& names) const
{
    QStringList matched;
    if (matchesNothing_) {
        return matched;
    }
    for (const QString& name : names) {
        if (matches(name)) {
            matched.append(name); // shares the name's data, no copy
        }
    }
    return matched;
}

QStringList filterProjectNames(const QStringList& names, const QString& text)
{
    return ProjectSearch(text).filter(names);
}

SearchLayout searchLayout(const QString& text, qsizetype matchCount, const QRectF& panel,
                          const QRectF& screen, const QRectF& usable, const SearchAnchor& anchor)
{
    using namespace search_geometry;
    SearchLayout layout;
    const bool fromBottom = anchor.fromBottom;
    const double panelTop =
        !fromBottom && anchor.edge ? *anchor.edge : screen.y() + screen.height() - kTopGap;
    const double panelBottom = fromBottom && anchor.edge ? *anchor.edge : panel.y();
    // The frame of a panel of HEIGHT: hanging from its top, or standing on its bottom.
    const auto frameOf = [&](double height) {
        return QRectF(panel.x(), fromBottom ? panelBottom : panelTop - height, panel.width(),
                      height);
    };
    if (text.isEmpty() && matchCount <= 0) {
        layout.panelFrame = frameOf(kEmptyTextPanelHeight);
        return layout;
    }
    if (matchCount <= 0) {
        return layout; // the panel keeps its frame
    }
    const double rowsHeight = double(matchCount) * kHeightPerMatch;
    double height = rowsHeight + kPanelHeightAroundRows;
    // The panel ends at the bottom of the usable area at the lowest (at its
    // top at the highest), but always shows at least one row.
    const QRectF& bounds = usable.isValid() ? usable : screen;
    const double room =
        fromBottom ? bounds.y() + bounds.height() - panelBottom : panelTop - bounds.y();
    const double tallest = std::max(room, double(kHeightPerMatch + kPanelHeightAroundRows));
    height = std::min(height, tallest);
    const double listHeight = std::min(rowsHeight, height - kPanelHeightAroundRows);

    layout.panelFrame = frameOf(height);
    layout.listVisible = true;
    const int topGap = fromBottom ? kListTopGapArrowBelow : kListTopGap;
    layout.listArea = QRectF(kListX, height - listHeight - topGap, kListWidth, listHeight);
    layout.contentHeight = rowsHeight;
    return layout;
}

} // namespace zarvo
