// The handlers of the ending signals: each blocks all four while it runs.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "platform/events.h"

namespace {

// The stop signals, the held hang-up and the grace alarm each run with SIGINT, SIGTERM, SIGHUP
// and SIGALRM blocked, and nothing else: one never breaks into another halfway.
TEST(EndingSignals, EachHandlerBlocksTheFourEndingSignals) {
  const int ending[] = {SIGHUP, SIGINT, SIGALRM, SIGTERM};  // in number order
  struct sigaction before[4];
  for (int k = 0; k < 4; ++k) sigaction(ending[k], nullptr, &before[k]);
  signal(SIGHUP, SIG_DFL);  // a hang-up is taken only where it would end the process
  EventsCatchStopSignals();
  EventsHoldEndingSignals(true);
  for (int s : ending) {
    SCOPED_TRACE(strsignal(s));
    struct sigaction now {};
    ASSERT_EQ(sigaction(s, nullptr, &now), 0);
    EXPECT_NE(now.sa_handler, SIG_DFL);
    std::vector<int> blocked;
    for (int other = 1; other <= SIGRTMAX; ++other)
      if (sigismember(&now.sa_mask, other) == 1) blocked.push_back(other);
    EXPECT_EQ(blocked, std::vector<int>(std::begin(ending), std::end(ending)));
  }
  EventsHoldEndingSignals(false);
  EventsReleaseStopSignals();
  for (int k = 0; k < 4; ++k) sigaction(ending[k], &before[k], nullptr);
}

}  // namespace
