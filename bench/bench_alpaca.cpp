// A StarFWHM request as observatory software makes it (a new connection,
// GET, the JSON answer read) while a night's readings are kept and the
// measurement publishes one every 50 ms. Argument: AveragePeriod in hours
// (0: the latest reading; 12: the mean over the whole night).
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "AlpacaClient.h"
#include "core/ReadingsFeed.h"
#include "publish/AlpacaService.h"

namespace {

using namespace nebulor;

constexpr quint16 kPort = 11199;

Reading reading(WallClock::time_point time) {
  Reading r;
  r.time = time;
  r.seeing = 1.2;
  r.best = 1.3;
  r.bestError = 0.2;
  r.wavelength = 0.55;
  return r;
}

void BM_StarFwhmRequest(benchmark::State& bench) {
  ReadingsFeed feed;
  const WallClock::time_point now = WallClock::now();
  for (int i = 10 * 3600; i > 0; i -= 5) feed.publish(reading(now - std::chrono::seconds(i)));  // ten hours
  feed.setMode(ProgramMode::running);
  AlpacaService alpaca(feed);
  if (!alpaca.start({kPort, QStringLiteral("127.0.0.1")}).isEmpty())
    bench.SkipWithError("port 11199 is taken");
  std::atomic<bool> measuring = true;
  std::thread measurement([&] {
    while (measuring) {
      feed.publish(reading(WallClock::now()));
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  const testing::AlpacaClient client(kPort);
  client.put("/api/v1/observingconditions/0/connected", "Connected=true");
  client.put("/api/v1/observingconditions/0/averageperiod",
             "AveragePeriod=" + std::to_string(bench.range(0)));
  for (auto _ : bench) {
    const testing::AlpacaClient::Reply reply = client.get("/api/v1/observingconditions/0/starfwhm");
    if (reply.json["ErrorNumber"].toInt(-1) != 0) bench.SkipWithError("no StarFWHM");
  }
  measuring = false;
  measurement.join();
}
BENCHMARK(BM_StarFwhmRequest)->Arg(0)->Arg(12)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
