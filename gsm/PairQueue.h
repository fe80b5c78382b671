#pragma once
// A guarded queue, head first, that any thread may reach at any moment. The monitor keeps two:
// the messages to send, (phone, text) pairs, and the stored messages still to be read, in the
// order their notices came (the send thread fills that one while it holds the port; the main
// thread drains it after the thread ended).

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

template <class TItem>
class TGuardedQueue {
 public:
  void Add(TItem item) {
    std::lock_guard<std::mutex> lock(Mutex);
    Entries.push_back(std::move(item));
  }
  // The head entry; false when the queue is empty.
  bool Front(TItem& item) const {
    std::lock_guard<std::mutex> lock(Mutex);
    if (Entries.empty()) return false;
    item = Entries.front();
    return true;
  }
  void DropFront() {
    std::lock_guard<std::mutex> lock(Mutex);
    if (!Entries.empty()) Entries.pop_front();
  }
  std::vector<TItem> Items() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return {Entries.begin(), Entries.end()};
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Entries.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(Mutex);
    Entries.clear();
  }

 private:
  mutable std::mutex Mutex;
  std::deque<TItem> Entries;
};

class TPairQueue : public TGuardedQueue<std::pair<std::string, std::string>> {
 public:
  using TPair = std::pair<std::string, std::string>;

  void Add(std::string first, std::string second) {
    TGuardedQueue::Add(TPair(std::move(first), std::move(second)));
  }
};

using TSendQueue = TPairQueue;  // (phone, text)
