#include "events/event_subscription.h"

namespace zandrel::events {

using automation::Ref;

class EventSubscription::Sink : public automation::RefCountedBase, public automation::EventSink {
 public:
  explicit Sink(Handler handler) : handler_(std::move(handler)) {}
  automation::Status OnEvent(std::int32_t dispid, std::span<automation::Variant> args) override {
    // The handler may end the subscription (and so this sink's handler).
    const auto self = Held(this);
    if (Handler handler = handler_) handler(dispid, args);
    return automation::Status::Ok();
  }
  void Detach() { handler_ = nullptr; }

 private:
  Handler handler_;
};

automation::Result<std::unique_ptr<EventSubscription>> EventSubscription::Subscribe(
    Ref<automation::Object> source, const automation::InterfaceId& events, Handler handler) {
  if (!source) return automation::errors::ObjectNotSet();
  Ref<Sink> sink(new Sink(std::move(handler)));
  auto cookie = source->Advise(events, sink);
  if (!cookie) return cookie.error();
  return std::unique_ptr<EventSubscription>(new EventSubscription(std::move(source), events, std::move(sink), *cookie));
}

EventSubscription::EventSubscription(Ref<automation::Object> source, const automation::InterfaceId& events,
                                     Ref<Sink> sink, std::uint32_t cookie)
    : source_(std::move(source)), events_(events), sink_(std::move(sink)), cookie_(cookie) {}

EventSubscription::~EventSubscription() {
  sink_->Detach();
  (void)source_->Unadvise(events_, cookie_);
}

}  // namespace zandrel::events
