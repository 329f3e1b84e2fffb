// The sender side of bench/soak.sh: casts the real screen and the system audio with
// the casting session to receivers that join and leave every tick, and samples this
// process's memory, threads and descriptors (see soakrun.h).
//   soak_driver --ticks N --out DIR --receiver PROGRAM --check PROGRAM
//               [--tick-ms 10000] [--fps 25] [--bitrate 4] [--width 1280]
// Writes DIR/samples.csv and DIR/receivers.csv, prints one "soak-driver" line at the
// end; exit status 0 when every receiver's run went as planned.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>

#include "Comm/logging.h"
#include "bench/soak/soakrun.h"
#include "libcapture/desktopsharing/capture.h"
#include "src/session/screensender.h"

int main(int argc, char** argv)
{
    // No cfg.ini of the user's: the quality comes from the options.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QCoreApplication app(argc, argv);
    vantor::initLogging(false);

    QCommandLineParser parser;
    parser.addOptions({{"ticks", "Ticks to run.", "N", "12"},
                       {"tick-ms", "Milliseconds per tick.", "MS", "10000"},
                       {"out", "Output directory.", "DIR"},
                       {"receiver", "The vantor-receiver program.", "PROGRAM"},
                       {"check", "Recording check program.", "PROGRAM"},
                       {"fps", "Frame rate.", "F", "25"},
                       {"bitrate", "Mbit/s.", "M", "4"},
                       {"width", "Output width.", "W", "1280"}});
    parser.process(app);
    soak::SoakOptions options;
    options.ticks = parser.value("ticks").toInt();
    options.tickMs = parser.value("tick-ms").toInt();
    options.resetAfterMs = options.tickMs * 3 / 2;
    options.outDir = parser.value("out");
    options.receiverProgram = parser.value("receiver");
    options.checkProgram = parser.value("check");
    options.fps = parser.value("fps").toInt();
    options.bitrateMbps = parser.value("bitrate").toInt();
    options.width = parser.value("width").toInt();
    if (options.ticks < 1 || options.tickMs < 1000 || options.outDir.isEmpty() ||
        options.receiverProgram.isEmpty() || options.checkProgram.isEmpty()) {
        std::fprintf(stderr,
                     "soak_driver: needs --ticks >= 1, --tick-ms >= 1000, --out, "
                     "--receiver and --check\n");
        return 64;
    }

    Capture::setVideoSource(VideoSourceKind::Screen);
    Capture::setAudioSource(AudioSourceKind::System);
    ScreenSender* session = ScreenSender::instance();
    session->setCaptureTarget(0, 0);
    session->setQualityOverrides({options.fps, options.bitrateMbps, options.width});
    QObject::connect(session, &ScreenSender::captureFailed, [](QString reason) {
        std::fprintf(stderr, "soak_driver: capture failed: %s\n", qPrintable(reason));
    });

    soak::SoakRun run(options, session);
    QObject::connect(&run, &soak::SoakRun::finished, &app, [&] {
        session->deleteThis();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app.quit();
    });
    run.start();
    app.exec();
    // A line of its own: the socket helpers print their errors without a line end.
    std::printf("\nsoak-driver joined=%d served=%d failures=%d\n", run.joined(), run.served(),
                run.failures());
    std::fflush(stdout);
    return run.failures() == 0 ? 0 : 1;
}
