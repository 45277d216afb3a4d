#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/Paths.h"
#include "support/TestSupport.h"

using namespace tesmar;

TEST(Paths, FirmwareNamesMatchWithoutCaseAndStayInTheirFolder) {
    QTemporaryDir dir;
    const std::string d = dir.path().toStdString() + "/";
    ASSERT_TRUE(test::writeFile(dir.filePath("E27C256.rbf"), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    ASSERT_TRUE(test::writeFile(dir.filePath("sub/A.rbf"), "x"));
    EXPECT_EQ(resolveFile(d, "E27C256.rbf"), d + "E27C256.rbf");
    EXPECT_EQ(resolveFile(d, "e27c256.RBF"), d + "E27C256.rbf");
    EXPECT_EQ(resolveFile(d, "none.rbf"), d + "none.rbf");
    // A name from a data file never reaches another folder.
    EXPECT_FALSE(fileExists(resolveFile(d, "sub/A.rbf")));
    EXPECT_FALSE(fileExists(resolveFile(d, "..\\sub\\A.rbf")));
    EXPECT_FALSE(fileExists(resolveFile(d + "sub/", "../E27C256.rbf")));
}
