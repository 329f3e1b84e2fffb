// The pictures compiled into the program: every name the windows load is there
// at its logical size, with an "@2x" twin at exactly twice that size for Qt's
// high-DPI lookup; the application icon holds the usual sizes; the SVGs served
// as they are load; nothing is fully transparent; and each source SVG, which
// code may render itself at any device pixel ratio, draws under QtSvg the same
// picture as the PNG made from it.
#include "resources/images.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <algorithm>
#include <cmath>
#include <memory>
#include <ostream>
#include <set>
#include <string>

namespace {

struct Picture {
    const char* name;  // ":/img/<name>.png", ":/img/<name>@2x.png", ":/img/src/<name>.svg"
    int width;         // logical size in pixels, at 1x
    int height;
};

void PrintTo(const Picture& picture, std::ostream* out) { *out << picture.name; }

// Every PNG the program loads.
const Picture kPictures[] = {
    {"appico", 256, 256},
    // Title bar and dialogs.
    {"icon_shezhi", 20, 20},
    {"icon_zuixiaohua", 20, 20},
    {"icon_guanbi", 20, 20},
    {"icon_fanhui", 20, 20},
    // Settings page.
    {"icon_xzk", 16, 16},
    {"icon_zxk1", 16, 16},
    {"icon_xlk", 12, 12},
    // Widgets.
    {"icon_sx", 20, 20},
    {"iconxiala_", 10, 10},
    {"icon_gengduo2", 12, 12},
    {"icon_diannao", 20, 20},
    {"icon_shouji", 20, 20},
    // Illustrations.
    {"img_wfxsb", 240, 160},
    {"img_dianshi", 240, 160},
    {"img_ghsjx", 140, 100},
    {"img_MTPms", 140, 100},
    {"img_zwfxsb", 240, 160},
    {"img_ff1", 360, 220},
    {"img_tpyd", 240, 200},
    {"img_android", 240, 200},
    {"icon_pgyd_2x", 360, 240},
    {"img_dyb_2x", 160, 120},
    {"img_drb_2x", 160, 120},
    {"img_dsb_2x", 160, 120},
    {"img_jt_2x", 24, 12},
    {"usbphone_tip", 240, 48},
    {"img_yxusbts", 260, 180},
    {"img_ljz", 240, 160},
    {"icon_saoma", 120, 120},
    {"bg_cdbj", 200, 511},
};

// SVGs served as they are under ":/img/SVG/", all 16x16.
const char* const kServedSvgs[] = {
    "icon_wxt", "icon_yxt", "icon_android", "icon_android1", "icon_apple", "icon_apple1",
};

// Sizes in the application icon file.
const int kIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// One application for the whole run, as the program has.
class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        initVantorImages();
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[12] = "test_images";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

bool hasOpaquePixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        if (std::any_of(line, line + argb.width(), [](QRgb p) { return qAlpha(p) == 255; })) {
            return true;
        }
    }
    return false;
}

QImage renderSvg(QSvgRenderer& renderer, const QSize& size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image;
}

// Root mean square difference of the premultiplied channels, 0 (same) to 1.
double difference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const QRgb* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const QRgb* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (int shift : {0, 8, 16, 24}) {
                const double d = (int((p[col] >> shift) & 0xff) - int((q[col] >> shift) & 0xff));
                sum += d * d;
            }
        }
    }
    return std::sqrt(sum / (4.0 * x.width() * x.height())) / 255.0;
}

// Warnings QtSvg prints about what it cannot draw, collected while one lives.
class SvgWarnings {
public:
    SvgWarnings()
    {
        messages().clear();
        previous_ = qInstallMessageHandler(&SvgWarnings::handle);
    }
    ~SvgWarnings() { qInstallMessageHandler(previous_); }
    static QStringList& messages()
    {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type != QtDebugMsg && QByteArray(context.category).startsWith("qt.svg")) {
            messages() << text;
        }
    }
    QtMessageHandler previous_;
};

class PictureTest : public ::testing::TestWithParam<Picture> {};

TEST_P(PictureTest, HasItsSizeAndATwiceAsLargeTwin)
{
    const Picture& picture = GetParam();
    const QString base = QStringLiteral(":/img/") + QLatin1String(picture.name);

    const QImage one(base + QStringLiteral(".png"));
    ASSERT_FALSE(one.isNull()) << "no " << picture.name << ".png";
    EXPECT_EQ(one.size(), QSize(picture.width, picture.height));
    EXPECT_TRUE(hasOpaquePixel(one)) << picture.name << ".png is fully transparent";

    const QImage two(base + QStringLiteral("@2x.png"));
    ASSERT_FALSE(two.isNull()) << "no " << picture.name << "@2x.png";
    EXPECT_EQ(two.size(), QSize(2 * picture.width, 2 * picture.height));
    EXPECT_TRUE(hasOpaquePixel(two)) << picture.name << "@2x.png is fully transparent";
}

TEST_P(PictureTest, SourceDrawsTheSamePictureUnderQtSvg)
{
    const Picture& picture = GetParam();
    const QString source =
        QStringLiteral(":/img/src/") + QLatin1String(picture.name) + QStringLiteral(".svg");
    SvgWarnings warnings;
    QSvgRenderer renderer(source);
    ASSERT_TRUE(renderer.isValid()) << "no valid " << source.toStdString();
    EXPECT_EQ(renderer.defaultSize(), QSize(picture.width, picture.height));

    const QSize size(2 * picture.width, 2 * picture.height);
    const QImage drawn = renderSvg(renderer, size);
    const QImage rendered(QStringLiteral(":/img/") + QLatin1String(picture.name) +
                          QStringLiteral("@2x.png"));
    ASSERT_EQ(rendered.size(), size);
    // Edges are smoothed a little differently; a shape QtSvg leaves out is far more.
    EXPECT_LT(difference(drawn, rendered), 0.04) << picture.name;
    EXPECT_TRUE(SvgWarnings::messages().isEmpty())
        << picture.name << ": " << SvgWarnings::messages().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(All, PictureTest, ::testing::ValuesIn(kPictures),
                         [](const ::testing::TestParamInfo<Picture>& info) {
                             return std::string(info.param.name);
                         });

TEST(Images, EveryPngIsAKnownPictureOrItsTwin)
{
    std::set<QString> known;
    for (const Picture& picture : kPictures) {
        known.insert(QLatin1String(picture.name) + QStringLiteral(".png"));
        known.insert(QLatin1String(picture.name) + QStringLiteral("@2x.png"));
    }
    QDirIterator it(QStringLiteral(":/img"), {QStringLiteral("*.png")}, QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        EXPECT_EQ(known.count(name), 1u) << "unexpected picture " << name.toStdString();
        ++count;
    }
    EXPECT_EQ(count, int(known.size()));
}

TEST(Images, ApplicationIconHoldsTheUsualSizes)
{
    QImageReader reader(QStringLiteral(":/img/appico.ico"));
    ASSERT_TRUE(reader.canRead()) << reader.errorString().toStdString();
    std::set<int> sizes;
    const int count = reader.imageCount();
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << "image " << i << ": " << reader.errorString().toStdString();
        EXPECT_EQ(image.width(), image.height());
        EXPECT_TRUE(hasOpaquePixel(image)) << image.width() << "px is fully transparent";
        sizes.insert(image.width());
    }
    for (int size : kIconSizes) {
        EXPECT_EQ(sizes.count(size), 1u) << "no " << size << "px image in appico.ico";
    }
}

class ServedSvgTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ServedSvgTest, LoadsAndDrawsSomething)
{
    const QString path =
        QStringLiteral(":/img/SVG/") + QLatin1String(GetParam()) + QStringLiteral(".svg");
    SvgWarnings warnings;
    QSvgRenderer renderer(path);
    ASSERT_TRUE(renderer.isValid()) << "no valid " << path.toStdString();
    EXPECT_EQ(renderer.defaultSize(), QSize(16, 16));
    EXPECT_TRUE(hasOpaquePixel(renderSvg(renderer, QSize(16, 16)))) << "blank at 16px";
    EXPECT_TRUE(hasOpaquePixel(renderSvg(renderer, QSize(32, 32)))) << "blank at 32px";
    EXPECT_TRUE(SvgWarnings::messages().isEmpty())
        << SvgWarnings::messages().join(QLatin1Char('\n')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(All, ServedSvgTest, ::testing::ValuesIn(kServedSvgs),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
