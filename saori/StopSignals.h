#pragma once

// Catching the stop signals (interrupt, terminate, hang-up) for the whole process. The handler
// only notes the signal and wakes a waiter, so it works whichever thread the kernel picks, also
// one a library started before main. What a stop means is left to the waiter: the terminal
// run, the windows and the lookup service each wait on a thread of their own.

namespace norvo {

class StopSignals {
public:
    // What a second signal does once one was caught.
    enum class Repeat {
        Catch,        // caught like the first
        EndsProgram,  // the default action is back: a second Ctrl-C ends the program at once
    };
    // Why Wait returned.
    enum class WaitEnd {
        Signal,      // a stop signal was caught
        Descriptor,  // the watched descriptor is readable, at its end or broken
        Ended,       // EndWaits was called, or the signals are not caught at all
    };

    // Catches SIGINT, SIGTERM and SIGHUP until destroyed, when the previous handlers come back.
    // One instance at a time.
    explicit StopSignals(Repeat repeat = Repeat::Catch);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when the signals could not be caught (they then act as before, and Wait returns
    // Ended at once).
    bool IsActive() const { return m_active; }
    // The first stop signal caught since construction; 0 while there is none.
    int Received() const;

    // Blocks until a stop signal is caught (or one came since the last Wait), EndWaits is
    // called, or `watched` (when not -1) becomes readable. One waiting thread at a time.
    WaitEnd Wait(int watched = -1);
    // From any thread: wakes the waiting thread and makes every later Wait return Ended.
    void EndWaits();

private:
    bool m_active = false;
};

}  // namespace norvo
