#pragma once
// The emitter and receiver pair that carries packets and flow records from one stage to the next. A receiver
// connects itself at the back of its emitter when it is built and disconnects when it is destroyed; an
// emission calls every connected receiver synchronously, in connection order, through its virtual
// handlePacket. Emitting allocates nothing.

#include <algorithm>
#include <vector>

namespace korvo::measurement {

template <typename Arg>
class Receiver;

template <typename Arg>
class Signal {
public:
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal() {
        for (Receiver<Arg>* receiver : receivers_) {
            receiver->source_ = nullptr;
        }
    }

    void operator()(const Arg& arg) const {
        for (Receiver<Arg>* receiver : receivers_) {
            receiver->handlePacket(arg);
        }
    }
    // The connected receivers, in connection order.
    [[nodiscard]] const std::vector<Receiver<Arg>*>& receivers() const { return receivers_; }

private:
    friend class Receiver<Arg>;

    void connect(Receiver<Arg>* receiver) { receivers_.push_back(receiver); }
    void disconnect(Receiver<Arg>* receiver) { std::erase(receivers_, receiver); }

    std::vector<Receiver<Arg>*> receivers_;
};

template <typename Arg>
class Receiver {
public:
    explicit Receiver(Signal<Arg>& source) : source_(&source) { source.connect(this); }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    virtual ~Receiver() {
        if (source_ != nullptr) {
            source_->disconnect(this);
        }
    }

    virtual void handlePacket(const Arg& arg) = 0;

private:
    friend class Signal<Arg>;

    Signal<Arg>* source_;
};

}  // namespace korvo::measurement
