#include "projects/newprojects.h"

#include <gtest/gtest.h>

namespace zarvo {
namespace {

// What a plan adds, as "NAME=PATH" (renamed ones marked with a star), and
// what it skips.
struct PlanRow {
    const char* what;
    QVariantMap store;
    QStringList found;
    QStringList added;
    int skipped;
    int alreadyStored;
};

QStringList additions(const NewProjectsPlan& plan)
{
    QStringList lines;
    for (const NewProject& project : plan.additions) {
        lines << project.name + (project.renamed ? QStringLiteral("*=") : QStringLiteral("=")) +
                     project.path;
    }
    return lines;
}

TEST(NewProjectsTest, NamesFollowTheFoldersAndNeverReplaceAStoredProject)
{
    const QVariantMap store{
        {QStringLiteral("app"), newProjectEntry(QStringLiteral("/src/app/"))},
        {QStringLiteral("web"), newProjectEntry(QStringLiteral("/elsewhere/web"))},
        {QStringLiteral("not a dictionary"), QStringLiteral("/src/odd")},
    };
    const PlanRow rows[] = {
        {"a stored path, trailing slashes aside", store, {QStringLiteral("/src/app")}, {}, 0, 1},
        {"the same path twice",
         {},
         {QStringLiteral("/a/x"), QStringLiteral("/a/x/")},
         {QStringLiteral("x=/a/x")},
         0,
         1},
        {"a taken name gets its parent's",
         store,
         {QStringLiteral("/src/web"), QStringLiteral("/src/odd")},
         {QStringLiteral("web (src)*=/src/web"), QStringLiteral("odd=/src/odd")},
         0,
         0},
        {"a name taken by an earlier find",
         {},
         {QStringLiteral("/a/x"), QStringLiteral("/b/x"), QStringLiteral("/c/b/x")},
         {QStringLiteral("x=/a/x"), QStringLiteral("x (b)*=/b/x")},
         1,
         0},
        {"a workspace is named without its suffix",
         {},
         {QStringLiteral("/w/all.code-workspace"), QStringLiteral("/w/.code-workspace")},
         {QStringLiteral("all=/w/all.code-workspace"),
          QStringLiteral(".code-workspace=/w/.code-workspace")},
         0,
         0},
        {"no name, or no parent to rename by",
         {{QStringLiteral("top"), newProjectEntry(QStringLiteral("/x"))}},
         {QStringLiteral("/"), QStringLiteral("/top")},
         {},
         2,
         0},
    };
    for (const PlanRow& row : rows) {
        SCOPED_TRACE(row.what);
        const NewProjectsPlan plan = planNewProjects(row.store, row.found);
        EXPECT_EQ(additions(plan), row.added);
        EXPECT_EQ(plan.skipped.size(), row.skipped);
        EXPECT_EQ(plan.alreadyStored, row.alreadyStored);
    }
}

} // namespace
} // namespace zarvo
