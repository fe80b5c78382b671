#pragma once
// A guarded queue of string pairs, head first, that any thread may reach at any moment. The
// monitor keeps two: the messages to send, (phone, text) pairs, and the stored messages
// still to be read, (storage, index) pairs in the order their notices came (the send thread
// fills that one while it holds the port; the main thread drains it after the thread ended).

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class TPairQueue {
 public:
  using TPair = std::pair<std::string, std::string>;

  void Add(std::string first, std::string second) {
    std::lock_guard<std::mutex> lock(Mutex);
    Pairs.emplace_back(std::move(first), std::move(second));
  }
  // The head pair; false when the queue is empty.
  bool Front(TPair& pair) const {
    std::lock_guard<std::mutex> lock(Mutex);
    if (Pairs.empty()) return false;
    pair = Pairs.front();
    return true;
  }
  void DropFront() {
    std::lock_guard<std::mutex> lock(Mutex);
    if (!Pairs.empty()) Pairs.pop_front();
  }
  std::vector<TPair> Items() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return {Pairs.begin(), Pairs.end()};
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return Pairs.size();
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(Mutex);
    Pairs.clear();
  }

 private:
  mutable std::mutex Mutex;
  std::deque<TPair> Pairs;
};

using TSendQueue = TPairQueue;  // (phone, text)
using TReadQueue = TPairQueue;  // (storage, index)
