#pragma once
// Work posted to the user-interface thread waits here like window messages:
// render threads post from their own thread, Run is the message loop.
#include <functional>
#include <mutex>
#include <vector>

namespace vesk::test {

class PostQueue {
 public:
  void Post(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  // Runs what was posted so far; false when nothing was.
  bool Run() {
    std::vector<std::function<void()>> tasks;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tasks.swap(tasks_);
    }
    for (auto& task : tasks) task();
    return !tasks.empty();
  }

 private:
  std::mutex mutex_;
  std::vector<std::function<void()>> tasks_;
};

}  // namespace vesk::test
