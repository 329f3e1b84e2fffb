// vantor-receiver: a companion receiver for Linux and the peer of our end-to-end tests.
#include <signal.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "tools/vantor-receiver/announcer.h"
#include "tools/vantor-receiver/caststate.h"
#include "tools/vantor-receiver/commandserver.h"
#include "tools/vantor-receiver/mediaserver.h"
#include "tools/vantor-receiver/player/player.h"
#include "tools/vantor-receiver/receiveroptions.h"
#include "tools/vantor-receiver/signalwatcher.h"

using namespace vantor::receiver;

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vantor-receiver");

    ReceiverOptions options;
    int exitCode = 0;
    if (!parseReceiverOptions(app.arguments(), &options, &exitCode)) return exitCode;

    // A reader of our output that goes away must not kill a running cast.
    ::signal(SIGPIPE, SIG_IGN);
    SignalWatcher signalWatcher;
    if (!signalWatcher.install()) std::fputs("vantor-receiver: no signal handling\n", stderr);

    std::function<void(const char*)> shutdown;
    // Without --play nothing of the window (SDL) is touched.
    std::unique_ptr<Player> player;
    if (options.play) {
        player = std::make_unique<Player>(
            PlayerSettings{options.name.toStdString(), options.code.toStdString(),
                           options.fullscreen, options.latencyLogPath.toStdString()},
            [&] { shutdown("window closed"); });
        std::string error;
        if (!player->open(&error)) {
            std::fprintf(stderr, "vantor-receiver: %s\n", error.c_str());
            return kExitCannotPlay;
        }
    }

    CastState state;
    CommandServer commands(options, &state);
    MediaServer media(options, &state, player.get());
    Announcer announcer(options);
    if (!commands.listen() || !media.listen()) return kExitCannotBind;
    if (options.announce && !announcer.start()) return kExitCannotBind;

    bool stopping = false;
    shutdown = [&](const char* reason) {
        if (stopping) return;
        stopping = true;
        std::fprintf(stderr, "stopping (%s)\n", reason);
        media.stopAll();
        announcer.withdraw();
        app.quit();
    };
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested,
                     [&](int number) { shutdown(number == 2 ? "SIGINT" : "SIGTERM"); });
    if (options.seconds > 0)
        QTimer::singleShot(options.seconds * 1000, &app, [&] { shutdown("time is up"); });

    std::printf("ready bind=%s code=%s name=%s\n", qPrintable(options.bindAddress.toString()),
                qPrintable(options.code), qPrintable(options.name));
    std::fflush(stdout);
    return app.exec();
}
