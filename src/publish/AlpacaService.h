#pragma once

#include <QStringList>
#include <QThread>

#include "core/ReadingsFeed.h"
#include "publish/AlpacaEndpoint.h"

namespace nebulor {

// The Alpaca device, the live page and discovery, served from a thread of
// their own: however slow or hostile a client, the window and the
// measurement never wait for it, and it answers between exposures as fast as
// during them. It reads the feed, nothing else. Needs a QCoreApplication.
class AlpacaService {
 public:
  explicit AlpacaService(const ReadingsFeed& feed);
  ~AlpacaService();
  AlpacaService(const AlpacaService&) = delete;
  AlpacaService& operator=(const AlpacaService&) = delete;

  // Starts serving; returns what the user must be told: that nothing is
  // served (the port is taken, say) or that discovery is off.
  QStringList start(const AlpacaEndpoint& endpoint);

 private:
  const ReadingsFeed& feed_;
  QThread thread_;
  QObject* host_;  // lives in thread_; the servers are its children
};

}  // namespace nebulor
