#ifndef DIRCLIENT_FAILBACK_PROBE_H
#define DIRCLIENT_FAILBACK_PROBE_H

#include <chrono>

// When a server-list session should look for a better server than its current one: every
// interval (0: never), counted from the last look. Guarded by the session mutex.

namespace dirclient::ldapaccess {

class FailbackProbe {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // QDX_FAILBACK_INTERVAL seconds when it is a positive number, otherwise off.
    FailbackProbe();

    void set_interval(double seconds);
    bool enabled() const { return interval_.count() > 0; }

    // True when a look is due at "now"; the next one is then due an interval later.
    bool due(TimePoint now);

  private:
    std::chrono::duration<double> interval_{0};
    TimePoint last_;
};

}  // namespace dirclient::ldapaccess

#endif
