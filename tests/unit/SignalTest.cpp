// Receivers are called in connection order and stop being called once destroyed, in any order of
// destruction.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "capture/Signal.h"

namespace korvo::measurement {
namespace {

class Recorder : public Receiver<int> {
public:
    Recorder(Signal<int>& signal, std::string& log, char tag) : Receiver(signal), log_(log), tag_(tag) {}
    void handlePacket(const int& value) override { log_ += tag_ + std::to_string(value); }

private:
    std::string& log_;
    char tag_;
};

TEST(Signal, CallsReceiversInConnectionOrder) {
    Signal<int> signal;
    std::string log;
    Recorder first(signal, log, 'a');
    Recorder second(signal, log, 'b');
    Recorder third(signal, log, 'c');
    signal(1);
    signal(2);
    EXPECT_EQ(log, "a1b1c1a2b2c2");
}

TEST(Signal, DestroyedReceiverIsNoLongerCalled) {
    Signal<int> signal;
    std::string log;
    Recorder first(signal, log, 'a');
    auto middle = std::make_unique<Recorder>(signal, log, 'b');
    Recorder last(signal, log, 'c');
    middle.reset();
    signal(5);
    EXPECT_EQ(log, "a5c5");
}

TEST(Signal, ReceiverMayOutliveItsSignal) {
    std::string log;
    auto signal = std::make_unique<Signal<int>>();
    Recorder receiver(*signal, log, 'a');
    (*signal)(1);
    signal.reset();
    EXPECT_EQ(log, "a1");
}

}  // namespace
}  // namespace korvo::measurement
