#include "file_type_icons.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

using zorva::plugin::ui::fileTypeIcons;

TEST(FileTypeIcons, SignaturesAndFilesWithoutExtensionHaveTheirIcons) {
    EXPECT_EQ(fileTypeIcons.at(".p7s"), ":/file_extension/unw.png");
    EXPECT_EQ(fileTypeIcons.at(".sig"), ":/file_extension/sig.png");
    EXPECT_EQ(fileTypeIcons.at(".sgn"), ":/file_extension/xml+sig.png");
    EXPECT_EQ(fileTypeIcons.at(""), ":/file_extension/unw.png");
    EXPECT_EQ(fileTypeIcons.count(".PDF"), 0u);
}

TEST(FileTypeIcons, EveryIconIsAPictureInTheResources) {
    EXPECT_EQ(fileTypeIcons.size(), 50u);
    for (const auto& [extension, icon] : fileTypeIcons)
        EXPECT_FALSE(QImage(icon).isNull()) << extension.toStdString() << " " << icon.toStdString();
}

}  // namespace
