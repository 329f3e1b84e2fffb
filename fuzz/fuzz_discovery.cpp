// Discovery datagrams: the payload decoder, the prefix test and the field reader, then
// what the listener does with the datagrams of one input when they come from a few
// receivers (records added, refreshed, replaced, withdrawn). One input holds one or
// more datagrams, separated by the four bytes "DGRM".
//
// The listener binds UDP port 43572; bench/fuzz.sh runs the harness in a network
// namespace of its own, and the harness joins no multicast group.

#include <QCoreApplication>
#include <QHostAddress>
#include <QMetaMethod>
#include <QMetaObject>
#include <QStringList>
#include <cstdlib>
#include <vector>

#include "Comm/logging.h"
#include "fuzz/fuzzcheck.h"
#include "src/discovery/announcement.h"
#include "src/discovery/codereceiver.h"
#include "src/discovery/discoverymutex.h"

namespace {

constexpr qint64 kNow = 1700000000;

CodeReceiver* listener = nullptr;
QMetaMethod processMsg;  // the private slot every datagram goes to

// More datagrams per input add length, not cases.
constexpr size_t kMaxDatagrams = 32;

const QHostAddress& senderOf(size_t index)
{
    // Two documentation addresses, the first also in its IPv4-mapped IPv6 form, which
    // must land on the same record.
    static const QHostAddress senders[] = {
        QHostAddress(QStringLiteral("192.0.2.1")),
        QHostAddress(QStringLiteral("192.0.2.2")),
        QHostAddress(QStringLiteral("::ffff:192.0.2.1")),
    };
    return senders[index % 3];
}

QString tableKeyOf(const QHostAddress& sender)
{
    bool isV4 = false;
    const quint32 v4 = sender.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : sender.toString();
}

std::vector<QByteArray> datagramsOf(const uint8_t* data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    std::vector<QByteArray> datagrams;
    int from = 0;
    for (;;) {
        const int at = input.indexOf("DGRM", from);
        datagrams.push_back(input.mid(from, at < 0 ? -1 : at - from));
        if (at < 0 || datagrams.size() == kMaxDatagrams) break;
        from = at + 4;
    }
    return datagrams;
}

void checkParse(const QString& text, const Announcement& parsed)
{
    // The reader takes pieces of the text: nothing it reports can be longer.
    FUZZ_CHECK(parsed.code.size() <= text.size());
    FUZZ_CHECK(parsed.name.size() <= text.size());
    FUZZ_CHECK(parsed.code == parsed.code.trimmed());
    FUZZ_CHECK(parsed.name == parsed.name.trimmed());
    FUZZ_CHECK(!parsed.code.contains(QLatin1String("#:#")));
    FUZZ_CHECK(!parsed.name.contains(QLatin1String("#:#")));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // No membership report may leave through a real interface: name an interface
    // that does not exist, so every join fails before it is tried.
    setenv("VANTOR_MULTICAST_INTERFACE", "vantor-fuzz-none", 1);
    static QCoreApplication app(*argc, *argv);
    fuzz::silenceQtMessages();
    el::Loggers::reconfigureAllLoggers(el::ConfigurationType::Enabled, "false");
    listener = new CodeReceiver;
    listener->setClock([] { return kNow; });
    const QMetaObject* meta = listener->metaObject();
    processMsg = meta->method(meta->indexOfMethod("processMsg(QHostAddress,QString)"));
    FUZZ_CHECK(processMsg.isValid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every input starts with an empty table: one expiry pass far in the future.
    listener->setClock([] { return kNow + 1000; });
    listener->removeDead();
    listener->setClock([] { return kNow; });
    FUZZ_CHECK(listener->sinks().isEmpty());

    const std::vector<QByteArray> datagrams = datagramsOf(data, size);
    for (size_t i = 0; i < datagrams.size(); ++i) {
        const QByteArray& datagram = datagrams[i];
        const QString text = announcement::decodePayload(datagram);
        FUZZ_CHECK(!text.contains(QChar(0)));

        const bool hasPrefix = announcement::hasPrefix(text);
        FUZZ_CHECK(hasPrefix == text.startsWith(QLatin1String(announcement::kPrefix)));
        Announcement parsed;
        if (hasPrefix) {
            parsed = announcement::parse(text);
            checkParse(text, parsed);
        }

        const QHostAddress& sender = senderOf(i);
        const QString key = tableKeyOf(sender);
        const QHash<QString, Sink> before = listener->sinks();
        FUZZ_CHECK(processMsg.invoke(listener, Qt::DirectConnection, Q_ARG(QHostAddress, sender),
                                     Q_ARG(QString, text)));
        const QHash<QString, Sink> after = listener->sinks();

        // Only the sender's own record may change.
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (it.key() == key) continue;
            FUZZ_CHECK(after.contains(it.key()));
        }
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            FUZZ_CHECK(it.key() == it->ip);
            FUZZ_CHECK(it.key() == key || before.contains(it.key()));
        }
        if (!hasPrefix) {
            FUZZ_CHECK(after.size() == before.size());
            continue;
        }
        if (parsed.leaving) {
            FUZZ_CHECK(!after.contains(key));
            continue;
        }
        FUZZ_CHECK(after.contains(key));
        const Sink& sink = after.value(key);
        FUZZ_CHECK(sink.code == parsed.code && sink.name == parsed.name);
        FUZZ_CHECK(sink.lastSeen == kNow && !sink.pinned);
        FUZZ_CHECK(sink.code.isEmpty() || listener->getHostByName(sink.code).size() > 0);
    }
    return 0;
}
