#pragma once
// A subscription of the add-in to one event source of the IDE: holding it
// keeps the connection (and a reference to the source); destroying it
// disconnects. The sink it advises holds no reference back to the add-in, so
// there is no cycle, and a call that arrives after the end finds no handler.

#include <functional>
#include <memory>

#include "automation/object.h"

namespace zandrel::events {

class EventSubscription {
 public:
  using Handler = std::function<void(std::int32_t dispid, std::span<automation::Variant> args)>;

  static automation::Result<std::unique_ptr<EventSubscription>> Subscribe(automation::Ref<automation::Object> source,
                                                                          const automation::InterfaceId& events,
                                                                          Handler handler);
  ~EventSubscription();
  EventSubscription(const EventSubscription&) = delete;
  EventSubscription& operator=(const EventSubscription&) = delete;

  const automation::Ref<automation::Object>& Source() const { return source_; }

 private:
  class Sink;
  EventSubscription(automation::Ref<automation::Object> source, const automation::InterfaceId& events,
                    automation::Ref<Sink> sink, std::uint32_t cookie);

  automation::Ref<automation::Object> source_;
  automation::InterfaceId events_;
  automation::Ref<Sink> sink_;
  std::uint32_t cookie_;
};

}  // namespace zandrel::events
