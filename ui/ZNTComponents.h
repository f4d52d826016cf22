// The small component model the UI library is built on: components with a name and an owner
// that keeps the components handed to it alive, removal notifications between components, and
// change links through which an image list tells its clients that its images changed. Every
// registration is non-owning and two-sided, so whichever side is destroyed first unregisters
// itself and nothing ever points at a destroyed object.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kv {

enum class TOperation { kInsert, kRemove };

class TZNTComponent {
 public:
  explicit TZNTComponent(TZNTComponent* owner = nullptr) : owner_(owner) {}
  virtual ~TZNTComponent();
  TZNTComponent(const TZNTComponent&) = delete;
  TZNTComponent& operator=(const TZNTComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TZNTComponent* Owner() const { return owner_; }

  // Keeps component alive until this component is destroyed; returns it.
  template <typename T>
  T* Adopt(std::unique_ptr<T> component) {
    T* raw = component.get();
    owned_.push_back(std::move(component));
    return raw;
  }

  // Asks to be told through Notification(other, kRemove) when other is destroyed; the request
  // holds both ways, so other is told as well when this component goes first.
  void FreeNotification(TZNTComponent* other);
  void RemoveFreeNotification(TZNTComponent* other);

 protected:
  // Told that component is going away (kRemove); the base does nothing.
  virtual void Notification(TZNTComponent* component, TOperation operation);

 private:
  void Unlink(TZNTComponent* other);

  TZNTComponent* owner_;
  std::string name_;
  std::vector<TZNTComponent*> free_notifies_;
  std::vector<std::unique_ptr<TZNTComponent>> owned_;
};

class TChangeNotifier;

// A client's registration with an image list: OnChange runs after every change of the list.
// Destroying either side unregisters the link.
class TChangeLink {
 public:
  TChangeLink() = default;
  ~TChangeLink();
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;

  std::function<void()> OnChange;
  TChangeNotifier* Sender() const { return sender_; }

 private:
  friend class TChangeNotifier;
  TChangeNotifier* sender_ = nullptr;
};

// The sending side of change links.
class TChangeNotifier {
 public:
  TChangeNotifier() = default;
  virtual ~TChangeNotifier();
  TChangeNotifier(const TChangeNotifier&) = delete;
  TChangeNotifier& operator=(const TChangeNotifier&) = delete;

  // A link registered elsewhere moves here; registering twice keeps one registration.
  void RegisterChanges(TChangeLink& link);
  void UnRegisterChanges(TChangeLink& link);
  // Runs OnChange of every registered link, in registration order.
  void NotifyClients();
  std::size_t ClientCount() const { return links_.size(); }

 private:
  std::vector<TChangeLink*> links_;
};

}  // namespace kv
