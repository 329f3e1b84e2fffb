#include "Comm/utility.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QWidget>

namespace {

QString writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
    return path;
}

// A frameless window with a white frame and a margin around it for the shadow.
struct ShadowedWindow {
    static constexpr int kMargin = 20;

    ShadowedWindow()
    {
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.resize(200, 120);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
        frame = new QFrame(&window);
        frame->setStyleSheet("background-color: white;");
        frame->setAutoFillBackground(true);
        layout->addWidget(frame);
    }

    QWidget window;
    QFrame* frame = nullptr;
};

}  // namespace

TEST(ConfirmDirExist, CreatesThreeMissingLevels)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString path = root.path() + "/one/two/three";
    Utility::confirmDirExist(path);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(ConfirmDirExist, LeavesAnExistingDirectoryAndItsContentsAlone)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString file = writeFile(root.path() + "/keep.txt", "content");
    ASSERT_TRUE(QDir(root.path()).mkdir("sub"));

    Utility::confirmDirExist(root.path());
    Utility::confirmDirExist(root.path() + "/");

    EXPECT_EQ(QDir(root.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              QStringList({"keep.txt", "sub"}));
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "content");
}

TEST(ConfirmDirExist, EmptyPathOrAFileInTheWayChangesNothing)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString file = writeFile(root.path() + "/plain", "x");
    Utility::confirmDirExist(QString());
    Utility::confirmDirExist(file);
    EXPECT_TRUE(QFileInfo(file).isFile());
    Utility::confirmDirExist(file + "/below");
    EXPECT_FALSE(QFileInfo::exists(file + "/below"));
}

TEST(IsFileExist, TrueForFilesAndDirectoriesOnly)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    EXPECT_TRUE(Utility::isFileExist(writeFile(root.path() + "/cfg.ini", "")));
    EXPECT_TRUE(Utility::isFileExist(root.path()));
    EXPECT_FALSE(Utility::isFileExist(root.path() + "/missing.ini"));
    EXPECT_FALSE(Utility::isFileExist(QString()));
}

TEST(SetShadowEffect, GivesTheFrameABlackEvenShadowOwnedByTheWindow)
{
    ShadowedWindow shadowed;
    Utility::setShadowEffect(&shadowed.window, shadowed.frame);

    EXPECT_TRUE(shadowed.window.testAttribute(Qt::WA_TranslucentBackground));
    auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(shadowed.frame->graphicsEffect());
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow->offset(), QPointF(0, 0));
    EXPECT_EQ(shadow->color(), QColor(Qt::black));
    EXPECT_EQ(shadow->blurRadius(), 8);
    EXPECT_EQ(shadow->parent(), &shadowed.window);

    // A second call replaces the shadow instead of stacking another one.
    QPointer<QGraphicsDropShadowEffect> first = shadow;
    Utility::setShadowEffect(&shadowed.window, shadowed.frame);
    EXPECT_TRUE(first.isNull());
    EXPECT_NE(shadowed.frame->graphicsEffect(), nullptr);
}

TEST(SetShadowEffect, WindowIsTransparentOutsideTheFrameWithTheShadowAtItsEdge)
{
    ShadowedWindow shadowed;
    Utility::setShadowEffect(&shadowed.window, shadowed.frame);
    shadowed.window.show();
    QApplication::processEvents();

    const QImage image = shadowed.window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull());
    const int m = ShadowedWindow::kMargin;
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(image.width() - 1, image.height() - 1)), 0);
    EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2), qRgb(255, 255, 255));
    // Just outside the frame, on every side, the shadow darkens the clear margin.
    const QPoint edges[] = {{m - 2, image.height() / 2},
                            {image.width() - m + 1, image.height() / 2},
                            {image.width() / 2, m - 2},
                            {image.width() / 2, image.height() - m + 1}};
    for (const QPoint& p : edges) {
        SCOPED_TRACE(testing::Message() << p.x() << "," << p.y());
        const QRgb pixel = image.pixel(p);
        EXPECT_GT(qAlpha(pixel), 0);
        EXPECT_EQ(qRed(pixel), 0);
    }
}

TEST(SetShadowEffect, NullArgumentsAreIgnored)
{
    ShadowedWindow shadowed;
    Utility::setShadowEffect(nullptr, shadowed.frame);
    Utility::setShadowEffect(&shadowed.window, nullptr);
    EXPECT_FALSE(shadowed.window.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(shadowed.frame->graphicsEffect(), nullptr);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
