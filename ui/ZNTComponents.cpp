#include "ui/ZNTComponents.h"

#include <algorithm>

namespace kv {

namespace {

template <typename T>
void Erase(std::vector<T*>& items, T* item) {
  items.erase(std::remove(items.begin(), items.end(), item), items.end());
}

}  // namespace

TZNTComponent::~TZNTComponent() {
  // Owned components go first, while this one can still be told of their removal.
  while (!owned_.empty()) {
    std::unique_ptr<TZNTComponent> last = std::move(owned_.back());
    owned_.pop_back();
    last.reset();
  }
  while (!free_notifies_.empty()) {
    TZNTComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    Erase(other->free_notifies_, this);
    other->Notification(this, TOperation::kRemove);
  }
}

void TZNTComponent::FreeNotification(TZNTComponent* other) {
  if (!other || other == this)
    return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), other) == free_notifies_.end()) {
    free_notifies_.push_back(other);
    other->free_notifies_.push_back(this);
  }
}

void TZNTComponent::RemoveFreeNotification(TZNTComponent* other) {
  if (other && other != this)
    Unlink(other);
}

void TZNTComponent::Unlink(TZNTComponent* other) {
  Erase(free_notifies_, other);
  Erase(other->free_notifies_, this);
}

void TZNTComponent::Notification(TZNTComponent*, TOperation) {}

TChangeLink::~TChangeLink() {
  if (sender_)
    sender_->UnRegisterChanges(*this);
}

TChangeNotifier::~TChangeNotifier() {
  for (TChangeLink* link : links_)
    link->sender_ = nullptr;
}

void TChangeNotifier::RegisterChanges(TChangeLink& link) {
  if (link.sender_ == this)
    return;
  if (link.sender_)
    link.sender_->UnRegisterChanges(link);
  link.sender_ = this;
  links_.push_back(&link);
}

void TChangeNotifier::UnRegisterChanges(TChangeLink& link) {
  if (link.sender_ != this)
    return;
  link.sender_ = nullptr;
  Erase(links_, &link);
}

void TChangeNotifier::NotifyClients() {
  // A client may unregister itself (or another) while being told: walk a copy and skip links
  // that have left in the meantime.
  const std::vector<TChangeLink*> links = links_;
  for (TChangeLink* link : links) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end() && link->OnChange)
      link->OnChange();
  }
}

}  // namespace kv
