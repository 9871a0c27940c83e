// Work spread over threads whose results are taken in the order the work
// was made: the steps of a run are numbered as a single thread would do
// them, jobs finish them on any thread, and the calling thread takes each
// step's outcome strictly in step order. So what a run tells, and in which
// order, does not depend on the number of threads.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/unzip/os_layer.h"

namespace unzip {

// The largest number of threads a run uses.
inline constexpr unsigned kMaxThreads = 8;

// The threads of a run, the calling one included: `setting` (the value of
// QEL_UNZIP_THREADS, or null) when it is a whole number from 1 on, else the
// number of processors; at most kMaxThreads.
unsigned ThreadCount(const char* setting, unsigned processors);

// What one step has to tell.
struct Outcome {
  std::string out;  // for standard output
  std::string err;  // for standard error
  int status = 0;

  bool empty() const { return out.empty() && err.empty() && status == 0; }
};

class Pipeline {
 public:
  // Fills one outcome per step of its job; runs on `thread` (0 is the
  // calling thread, which runs queued jobs whenever it would wait).
  using Work = std::function<void(unsigned thread, std::vector<Outcome>* outcomes)>;

  // `threads` threads in all; with one, every job runs where it is
  // submitted. `take` receives the outcomes in step order on the calling
  // thread.
  Pipeline(unsigned threads, std::function<void(Outcome&)> take);
  // Lets the threads finish the queued jobs and waits for them; outcomes not
  // taken by then are dropped.
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  unsigned threads() const { return threads_; }
  // A step that is finished as it is made.
  void Record(Outcome outcome);
  // A step that a job will finish: its number.
  uint64_t Reserve();
  // Queues `work` for `steps`, reserved and in rising order. Returns once
  // the queue and the steps not yet taken are within bounds, running queued
  // jobs meanwhile.
  void Submit(std::vector<uint64_t> steps, Work work);
  // Returns once every step up to `step` is finished and taken, and the
  // jobs that finished them are dropped.
  void WaitFor(uint64_t step);
  void WaitForAll();
  // Steps before this one are taken.
  uint64_t taken() const { return taken_; }

 private:
  struct Job {
    std::vector<uint64_t> steps;
    Work work;
  };
  struct Slot {
    Outcome outcome;
    bool done = false;
  };

  void WorkerLoop(unsigned thread);
  // Runs a job and finishes its steps; an exception leaves them with an
  // outcome that says so, as a failure to write.
  void RunJob(unsigned thread, Job& job);
  // Takes the finished steps at the front; true when it took any.
  bool TakeReady();
  // Runs one queued job, or waits for a step to finish; `mutex_` held.
  void HelpOrWait();

  unsigned threads_;
  size_t queueLimit_;
  std::function<void(Outcome&)> take_;
  Mutex mutex_;
  Condition work_;      // a job was queued, or the pipeline ends
  Condition progress_;  // a job finished
  std::deque<Job> queue_;
  std::deque<Slot> slots_;  // slots_[0] is step taken_
  uint64_t taken_ = 0;      // written by the calling thread only
  bool stopping_ = false;
  ThreadGroup workers_;
};

}  // namespace unzip
