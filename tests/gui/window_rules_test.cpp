#include "window_rules.h"

#include <gtest/gtest.h>

namespace zentor::gui {
namespace {

TEST(Placement, KeepOnScreenAtCreation) {
    const QSize screen(1024, 768);
    const QSize window(394, 358);
    const struct {
        QPoint stored;
        QPoint expected;
    } cases[] = {
        {{100, 50}, {100, 50}},    // already on the screen
        {{-20, -5}, {0, 0}},       // negatives become 0
        {{900, 100}, {630, 100}},  // past the right edge: flush with it
        {{100, 500}, {100, 380}},  // past the bottom: 30 px above it
        {{630, 410}, {630, 410}},  // exactly at the limits stays
        {{2000, 2000}, {630, 380}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepOnScreen(c.stored, window, screen), c.expected)
            << c.stored.x() << "," << c.stored.y();
}

TEST(Placement, CentredOneThirdDownTruncated) {
    EXPECT_EQ(CentreOnScreen({394, 358}, {1024, 768}), QPoint(315, 136));
    EXPECT_EQ(CentreOnScreen({395, 359}, {1024, 768}), QPoint(314, 136));
    // A window larger than the screen gives negative offsets, truncated toward zero.
    EXPECT_EQ(CentreOnScreen({801, 602}, {800, 600}), QPoint(0, 0));
    EXPECT_EQ(CentreOnScreen({804, 606}, {800, 600}), QPoint(-2, -2));
}

TEST(Placement, DialogOverOwner) {
    const QSize screen(1024, 768);
    const QSize dialog(336, 248);
    const struct {
        QRect owner;
        QPoint expected;
    } cases[] = {
        {{315, 136, 394, 358}, {344, 172}},  // centred, a third of the difference down
        {{-300, -200, 394, 358}, {0, 0}},    // negatives become 0
        {{900, 100, 394, 358}, {688, 136}},  // right edge: flush
        {{100, 700, 394, 358}, {129, 470}},  // bottom: 50 px above it
        {{0, 0, 200, 100}, {0, 0}},          // owner smaller than the dialog: (-68, -49) -> 0
    };
    for (const auto& c : cases) EXPECT_EQ(PlaceOverOwner(c.owner, dialog, screen), c.expected);
}

TEST(Captions, PerFaceAndType) {
    const struct {
        WindowFace face;
        int type;
        const char* caption;
    } cases[] = {
        {WindowFace::FactoryFace, 0, "Zentor MSC"},
        {WindowFace::FactoryFace, 1, "Zentor MSC1210Y2"},
        {WindowFace::FactoryFace, 4, "Zentor MSC1210Y5"},
        {WindowFace::FactoryFace, 5, "Zentor MSC"},
        {WindowFace::FactoryFace, -1, "Zentor MSC"},
        {WindowFace::EncoderFace, 3, "Zentor MSC1210Y4"},
        {WindowFace::EncoderFace, 0, "Zentor MSC"},
        {WindowFace::UpdateFace, 2, "Zentor Velmar"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FaceCaption(c.face, c.type), QString::fromUtf8(c.caption)) << c.type;
}

TEST(FontCheck, ArialOrMetricCompatibleSubstitute) {
    const struct {
        QStringList families;
        bool warn;
    } cases[] = {
        {{"DejaVu Sans", "Arial"}, false},
        {{"Arial [Monotype]"}, false},
        {{"Liberation Sans"}, false},
        {{"arimo"}, false},
        {{"Liberation Sans Narrow", "DejaVu Sans", "Arial Black"}, true},
        {{}, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NeedsArialWarning(c.families), c.warn) << c.families.join(", ").toStdString();
}

TEST(DefaultTitle, NameWithoutExtensionFirstLetterKept) {
    EXPECT_EQ(DefaultApplicationTitle("/opt/zentor/ZENTOR.EXE"), "Zentor");
    EXPECT_EQ(DefaultApplicationTitle("/usr/bin/zentor"), "zentor");
    EXPECT_EQ(DefaultApplicationTitle("C:/Tools/ZentorHalden.exe"), "Zentorhalden");
}

TEST(DialogFilter, ConvertedWithCaptionsKept) {
    EXPECT_EQ(
        ConvertDialogFilter(QString::fromUtf8(kAsmFileFilter)),
        QStringList({QString::fromUtf8("Файл  *.asm (*.asm)"), QString::fromUtf8("Все  *.* (*)")}));
    EXPECT_EQ(ConvertDialogFilter("Images|*.bmp;*.png"), QStringList({"Images (*.bmp *.png)"}));
    // A caption without its pattern is dropped.
    EXPECT_EQ(ConvertDialogFilter("Text|*.txt|Odd"), QStringList({"Text (*.txt)"}));
}

TEST(ButtonCaptions, LineBreakWithCarriageReturnBecomesOneBreak) {
    EXPECT_EQ(ButtonCaption(QString::fromUtf8("Остановить\n\rчтение данных")),
              QString::fromUtf8("Остановить\nчтение данных"));
    EXPECT_EQ(ButtonCaption("a\r\nb\rc"), "a\nbc");
}

TEST(StartOptions, FaceConfigAndJournal) {
    const struct {
        QStringList args;
        WindowFace face;
        QString config;
        bool error;
        QString journal = "";
        bool training = false;
    } cases[] = {
        {{"zentor", "--journal", "/srv/j.csv"}, WindowFace::UpdateFace, "", false, "/srv/j.csv"},
        {{"zentor", "--journal=j.csv", "--face", "factory"},
         WindowFace::FactoryFace,
         "",
         false,
         "j.csv"},
        {{"zentor", "--journal"}, WindowFace::UpdateFace, "", true},
        {{"zentor"}, WindowFace::UpdateFace, "", false},
        {{"zentor", "--training"}, WindowFace::UpdateFace, "", false, "", true},
        {{"zentor", "--face", "factory", "--training"},
         WindowFace::FactoryFace,
         "",
         false,
         "",
         true},
        {{"zentor", "--training", "--config", "c.ini"}, WindowFace::UpdateFace, "", true},
        {{"zentor", "--training=yes"}, WindowFace::UpdateFace, "", true},
        {{"zentor", "--face", "factory"}, WindowFace::FactoryFace, "", false},
        {{"zentor", "--face=encoder", "--config=/tmp/a.ini"},
         WindowFace::EncoderFace,
         "/tmp/a.ini",
         false},
        {{"zentor", "--config", "b.ini", "--face", "update"},
         WindowFace::UpdateFace,
         "b.ini",
         false},
        {{"zentor", "--face", "Factory"}, WindowFace::UpdateFace, "", true},
        {{"zentor", "--face"}, WindowFace::UpdateFace, "", true},
        {{"zentor", "--config"}, WindowFace::UpdateFace, "", true},
        {{"zentor", "extra"}, WindowFace::UpdateFace, "", true},
    };
    for (const auto& c : cases) {
        const StartOptions o = ParseStartOptions(c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(!o.error.isEmpty(), c.error) << what;
        if (c.error) continue;
        EXPECT_EQ(o.face, c.face) << what;
        EXPECT_EQ(o.configPath, c.config) << what;
        EXPECT_EQ(o.journalPath, c.journal) << what;
        EXPECT_EQ(o.training, c.training) << what;
    }
}

}  // namespace
}  // namespace zentor::gui
