#pragma once
// The stored messages still to be read, (storage, index) pairs in the order their notices
// came. The send thread fills it while it holds the port; the main thread drains it after
// that thread has ended. Guarded, so either side may reach it at any moment.

#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class TReadQueue {
 public:
  using TPair = std::pair<std::string, std::string>;  // storage, index

  void Add(std::string storage, std::string index) {
    std::lock_guard<std::mutex> lock(Mutex);
    Pairs.emplace_back(std::move(storage), std::move(index));
  }
  std::vector<TPair> Items() const {
    std::lock_guard<std::mutex> lock(Mutex);
    return {Pairs.begin(), Pairs.end()};
  }
  void DropFront() {
    std::lock_guard<std::mutex> lock(Mutex);
    if (!Pairs.empty()) Pairs.pop_front();
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
