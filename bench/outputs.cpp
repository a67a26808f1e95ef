// MQTT output against a broker of its own on 127.0.0.1: one station at 1,000 samples/s (rate,
// loss, latency from takeBatch to a subscriber), then 50 stations at 10 Hz each for --seconds
// (default 60) with a subscriber counting what arrives.

#include "outputs/MqttOutput.h"
#include "tests/support/MqttBroker.h"
#include "tests/support/Samples.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Counts messages and, for the first part, notes when each sample (its time field holds its
// number) arrived.
class Counter
{
public:
    Counter(quint16 port, const char* filter, int expected, const QElapsedTimer* clock)
        : m_arrival(size_t(expected), -1), m_clock(clock), m_filter(filter)
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto* m, void* self, int) {
            mosquitto_subscribe(m, nullptr, static_cast<Counter*>(self)->m_filter, 1);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Counter*>(self)->m_subscribed = true;
        });
        mosquitto_message_callback_set(
            m_mosq, [](mosquitto*, void* self, const mosquitto_message* message) {
                static_cast<Counter*>(self)->take(message);
            });
        mosquitto_connect_async(m_mosq, "127.0.0.1", port, 60);
        mosquitto_loop_start(m_mosq);
    }
    ~Counter()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
        mosquitto_destroy(m_mosq);
    }
    bool subscribed() const { return m_subscribed; }
    int received() const { return m_received; }
    std::vector<qint64> arrivals() const
    {
        std::lock_guard lock(m_mutex);
        return m_arrival;
    }

private:
    void take(const mosquitto_message* message)
    {
        const QByteArray payload(static_cast<const char*>(message->payload), message->payloadlen);
        if (payload.startsWith("online") || payload.startsWith("offline"))
            return;
        ++m_received;
        if (!m_clock)
            return;
        // "time":"1970-01-01T00:00:00.123Z" is sample 123 (seconds carry thousands).
        const qsizetype at = payload.indexOf("\"time\":\"");
        const QByteArray text = payload.mid(at + 8, 24);
        const int number = text.mid(17, 2).toInt() * 1000 + text.mid(20, 3).toInt() +
                           text.mid(14, 2).toInt() * 60000;
        std::lock_guard lock(m_mutex);
        if (number >= 0 && size_t(number) < m_arrival.size())
            m_arrival[size_t(number)] = m_clock->nsecsElapsed();
    }

    std::vector<qint64> m_arrival;
    const QElapsedTimer* m_clock;
    const char* m_filter;
    mosquitto* m_mosq;
    mutable std::mutex m_mutex;
    std::atomic<bool> m_subscribed{false};
    std::atomic<int> m_received{0};
};

MqttOutputConfig configFor(quint16 port, const QString& topic)
{
    MqttOutputConfig config;
    config.url.host = QStringLiteral("127.0.0.1");
    config.url.port = port;
    config.topic = topic;
    return config;
}

Sample numberedSample(qint64 number)
{
    return exampleSample(number);
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void singleStation(quint16 port, int seconds)
{
    const int rate = 1000;
    const int total = rate * seconds;
    QElapsedTimer clock;
    clock.start();
    Counter counter(port, "bench/single", total, &clock);
    (void)QTest::qWaitFor([&] { return counter.subscribed(); }, 5000);
    MqttOutput output(configFor(port, QStringLiteral("bench/single")));
    (void)QTest::qWaitFor([&] { return output.isConnected(); }, 5000);

    // Batches of 10 every 10 ms, as a serial poll delivers them.
    std::vector<qint64> sent(size_t(total), -1);
    int next = 0;
    const qint64 start = clock.nsecsElapsed();
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &output, [&] {
        const qint64 due = std::min<qint64>(total, (clock.nsecsElapsed() - start) / 1000000);
        SampleBatch batch;
        for (; next < due; ++next) {
            sent[size_t(next)] = clock.nsecsElapsed();
            batch << numberedSample(next);
        }
        output.takeBatch(batch);
    });
    poll.start(10);
    (void)QTest::qWaitFor([&] { return next >= total; }, (seconds + 10) * 1000);
    poll.stop();
    const double elapsed = double(clock.nsecsElapsed() - start) / 1e9;
    (void)QTest::qWaitFor([&] { return counter.received() >= total; }, 10000);

    std::vector<double> latencies;
    const std::vector<qint64> arrivals = counter.arrivals();
    for (size_t i = 0; i < arrivals.size(); ++i) {
        if (arrivals[i] >= 0 && sent[i] >= 0)
            latencies.push_back(double(arrivals[i] - sent[i]) / 1e6);
    }
    const int lost = total - counter.received();
    std::printf("outputs: %.0f samples/s published, %d lost, latency p50/p99 %.2f/%.2f ms\n",
                double(counter.received()) / elapsed, lost, percentile(latencies, 0.5),
                percentile(latencies, 0.99));
    std::fflush(stdout);
}

void fleet(quint16 port, int stations, int seconds)
{
    Counter counter(port, "bench/fleet/#", 0, nullptr);
    (void)QTest::qWaitFor([&] { return counter.subscribed(); }, 5000);
    std::vector<std::unique_ptr<MqttOutput>> outputs;
    for (int i = 0; i < stations; ++i) {
        outputs.push_back(std::make_unique<MqttOutput>(
            configFor(port, QStringLiteral("bench/fleet/station%1").arg(i))));
    }
    (void)QTest::qWaitFor(
        [&] {
            return std::all_of(outputs.begin(), outputs.end(),
                               [](const auto& o) { return o->isConnected(); });
        },
        10000);

    qint64 published = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        for (auto& output : outputs)
            output->takeBatch({numberedSample(published)});
        ++published;
    });
    QElapsedTimer clock;
    clock.start();
    tick.start(100);
    (void)QTest::qWaitFor([&] { return clock.elapsed() >= qint64(seconds) * 1000; },
                          seconds * 1000 + 5000);
    tick.stop();
    const qint64 total = published * stations;
    (void)QTest::qWaitFor([&] { return counter.received() >= total; }, 10000);
    qint64 dropped = 0;
    for (auto& output : outputs) {
        output->finish();
        dropped += output->droppedCount();
    }
    std::printf("outputs: %d stations at 10 Hz for %d s: %lld published, %lld received, %lld lost "
                "(%lld dropped from queues)\n",
                stations, seconds, static_cast<long long>(total),
                static_cast<long long>(counter.received()),
                static_cast<long long>(total - counter.received()),
                static_cast<long long>(dropped));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seconds"),
                      QStringLiteral("Seconds of the 50-station part (default 60)."),
                      QStringLiteral("N"), QStringLiteral("60")});
    parser.addOption({QStringLiteral("burst-seconds"),
                      QStringLiteral("Seconds of the 1,000 samples/s part (default 5)."),
                      QStringLiteral("N"), QStringLiteral("5")});
    parser.process(app);

    if (MqttBroker::program().isEmpty()) {
        std::fprintf(stderr, "outputs: the mosquitto broker is not installed\n");
        return 1;
    }
    MqttBroker broker;
    if (!broker.start()) {
        std::fprintf(stderr, "outputs: the broker did not start\n%s\n", qPrintable(broker.log()));
        return 1;
    }
    singleStation(broker.port(), qMax(1, parser.value(QStringLiteral("burst-seconds")).toInt()));
    fleet(broker.port(), 50, qMax(1, parser.value(QStringLiteral("seconds")).toInt()));
    return 0;
}
