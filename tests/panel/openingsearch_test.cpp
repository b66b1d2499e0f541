// Text typed while the panel is still growing open: the search's frame wins
// over the opening animation's remaining frames.

#include "app/applicationdelegate.h"
#include "panel/panel.h"
#include "panel/panelcontroller.h"
#include "panel/searchfieldview.h"
#include "platform/resourcedir.h"
#include "projects/projectstore.h"
#include "support/tempresources.h"

#include "support/wait.h"
#include "widgettesting.h"

#include <QDir>

#include <ostream>

#include <gtest/gtest.h>

namespace zarvo {
namespace {

// Qt's offscreen screen is 800 x 800; the panel opens centred near its top.
const QRect kOpenedOnScreen(260, 22, 280, 98);
// Two matches: 2 × 35 + 90 high, 22 below the screen's top.
const QRect kTwoMatchesOnScreen(260, 22, 280, 160);

struct OpeningSearchRow {
    const char* name;
    // How far the opening animation has got when the text arrives: 0 right
    // at the start, otherwise until the panel is at least this wide.
    int widthReached;
};

[[maybe_unused]] void PrintTo(const OpeningSearchRow& row, std::ostream* os)
{
    *os << row.name;
}

class OpeningSearchTest : public ::testing::TestWithParam<OpeningSearchRow> {
protected:
    void SetUp() override
    {
        prepareResourceDirectory();
        for (const char* name : {"web", "worker", "api"}) {
            ASSERT_TRUE(ProjectStore::saveProject(QString::fromLatin1(name),
                                                  {{entry_key::filePath, QDir::tempPath()}})
                            .ok());
        }
    }

    PanelController& controller() { return *app.panelController(); }
    Panel& window() { return *controller().window(); }

    test::ApplicationGuard guard;
    test::TempResources resources;
    ApplicationDelegate app;
};

TEST_P(OpeningSearchTest, TheListedMatchesKeepTheirFrame)
{
    controller().setHasActivePanel(true);
    if (GetParam().widthReached > 0) {
        ASSERT_TRUE(test::waitUntil([&] { return window().width() >= GetParam().widthReached; }));
    }
    ASSERT_LT(window().windowOpacity(), 1.0) << "still opening";
    controller().searchField()->setText(QStringLiteral("w"));
    controller().runSearch();
    EXPECT_EQ(window().geometry(), kTwoMatchesOnScreen) << "at once";

    ASSERT_TRUE(test::waitUntil([&] { return window().windowOpacity() == 1.0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window().geometry(), kTwoMatchesOnScreen) << "after the animation";
    EXPECT_TRUE(controller().scrollView()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Opening, OpeningSearchTest,
                         ::testing::Values(OpeningSearchRow{"AtTheStart", 0},
                                           OpeningSearchRow{"HalfWayOpen", 100}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OpeningSearchTest, WithoutASearchThePanelOpensAsUsual)
{
    controller().setHasActivePanel(true);
    ASSERT_TRUE(test::waitUntil([&] { return window().windowOpacity() == 1.0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window().geometry(), kOpenedOnScreen);
}

} // namespace
} // namespace zarvo
