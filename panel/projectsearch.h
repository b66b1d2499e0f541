#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace zarvo {

// The form in which search texts and project names are compared: canonical
// decomposition, combining marks dropped, recomposed, then case folded. "Ä",
// "ä" and "a" all read as "a"; "É" and "e" as "e".
QString searchKey(QStringView text);

// The filter the panel applies to the project names. A one-character text
// matches the names that begin with it, any longer text the names that contain
// it; both ignore case and diacritics. The empty text matches nothing.
//
// Built once per search text (the text is folded here, once) and then asked
// about every name. Names made of ASCII alone are compared in place; only the
// others are folded, into a buffer the search keeps for the purpose.
class ProjectSearch final {
public:
    explicit ProjectSearch(const QString& text);

    // Whether NAME is listed for the text.
    bool matches(QStringView name) const;
    // The names of NAMES that match, in the order of NAMES.
    QStringList filter(const QStringList& names) const;

    bool isPrefixSearch() const { return prefix_; }

private:
    bool matchesAscii(QStringView name) const;

    QString key_;
    bool prefix_ = false;
    bool keyIsAscii_ = true;
    bool matchesNothing_ = false;
};

// The names the panel lists for TEXT, in the order of NAMES.
QStringList filterProjectNames(const QStringList& names, const QString& text);

// Geometry of the panel around the search results, in screen coordinates with
// the origin at the bottom left of the primary screen and y pointing up.
namespace search_geometry {
// Row height given to the result table on every search.
inline constexpr double kRowHeight = 20.0;
// List height allotted to each listed match.
inline constexpr int kHeightPerMatch = 35;
// Panel height on top of the rows: the search field above, the bottom row below.
inline constexpr int kPanelHeightAroundRows = 90;
// Panel height while the search text is empty.
inline constexpr double kEmptyTextPanelHeight = 98.0;
// Gap between the top of the primary screen and the panel's top edge.
inline constexpr int kTopGap = 22;
inline constexpr double kListX = 2.0;
inline constexpr double kListWidth = 276.0;
// Distance from the top of the list area to the top of the panel; the arrow's
// 8 points less for a panel whose arrow is on its bottom edge.
inline constexpr int kListTopGap = 54;
inline constexpr int kListTopGapArrowBelow = kListTopGap - 8;
} // namespace search_geometry

// Where one search puts the panel window and its list area.
struct SearchLayout {
    // The panel's new frame in screen coordinates; absent when the panel keeps
    // its frame (no match).
    std::optional<QRectF> panelFrame;
    bool listVisible = false;
    // The list area in the panel's coordinates (origin at the panel's bottom
    // left, y up). Empty while the list is hidden.
    QRectF listArea;
    // Height of all listed rows. Larger than the list area's height only when
    // the panel was capped at the bottom of the screen and the list scrolls.
    double contentHeight = 0;
};

// The layout for a search of TEXT that matched MATCHCOUNT names (for the empty
// text, the names listed without a search; with none, the opening height). PANEL is the
// panel's current frame, SCREEN the primary screen's frame and USABLE the part
// of it not covered by desktop panels. A panel whose rows would reach below
// the bottom of USABLE ends there instead (never shorter than one row) and its
// list scrolls; every panel that fits keeps the height n × 35 + 90.
//
// ANCHOR says which edge of the panel stays where it is. By default the top,
// kTopGap below SCREEN's top. A panel standing on a bar at the bottom of the
// screen keeps its bottom edge instead and grows upwards, ending at the top of
// USABLE at the highest.
struct SearchAnchor {
    bool fromBottom = false;
    // The y of the edge kept (the top, or the bottom when FROMBOTTOM): where
    // the panel touches the bar. Absent: kTopGap below the screen's top (for
    // the top only).
    std::optional<double> edge;
};
SearchLayout searchLayout(const QString& text, qsizetype matchCount, const QRectF& panel,
                          const QRectF& screen, const QRectF& usable,
                          const SearchAnchor& anchor = {});

} // namespace zarvo
