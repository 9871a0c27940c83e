#include "tools/unzip/pipeline.h"

#include <algorithm>
#include <exception>
#include <new>

#include "tools/unzip/expand.h"

namespace unzip {

namespace {

// Steps not yet taken, at most: bounds what waits behind a slow job.
constexpr uint64_t kMaxOpenSteps = 4096;
// Queued jobs per worker thread: enough that none runs dry while the
// calling thread prepares the next job.
constexpr size_t kJobsPerWorker = 2;

}  // namespace

unsigned ThreadCount(const char* setting, unsigned processors) {
  unsigned count = processors;
  if (setting && *setting) {
    unsigned value = 0;
    const char* p = setting;
    for (; *p >= '0' && *p <= '9'; ++p) value = std::min(value * 10 + static_cast<unsigned>(*p - '0'), kMaxThreads + 1);
    if (*p == '\0' && value >= 1) count = value;
  }
  return std::clamp(count, 1u, kMaxThreads);
}

Pipeline::Pipeline(unsigned threads, std::function<void(Outcome&)> take)
    : threads_(std::max(threads, 1u)),
      queueLimit_((threads_ - 1) * kJobsPerWorker),
      take_(std::move(take)) {
  unsigned started = 1;
  for (; started < threads_; ++started) {
    if (!workers_.Start([this, started] { WorkerLoop(started); })) break;
  }
  // Fewer threads than asked for only make the run slower.
  threads_ = started;
  queueLimit_ = (started - 1) * kJobsPerWorker;
}

Pipeline::~Pipeline() {
  {
    MutexLock lock(mutex_);
    stopping_ = true;
  }
  work_.WakeAll();
  workers_.JoinAll();
}

void Pipeline::Record(Outcome outcome) {
  {
    MutexLock lock(mutex_);
    slots_.push_back({std::move(outcome), true});
  }
  TakeReady();
}

uint64_t Pipeline::Reserve() {
  MutexLock lock(mutex_);
  slots_.emplace_back();
  return taken_ + slots_.size() - 1;
}

void Pipeline::Submit(std::vector<uint64_t> steps, Work work) {
  {
    MutexLock lock(mutex_);
    queue_.push_back({std::move(steps), std::move(work)});
  }
  work_.WakeOne();
  for (;;) {
    TakeReady();
    MutexLock lock(mutex_);
    if (queue_.size() <= queueLimit_ && slots_.size() <= kMaxOpenSteps) return;
    HelpOrWait();
  }
}

void Pipeline::WaitFor(uint64_t step) {
  for (;;) {
    TakeReady();
    MutexLock lock(mutex_);
    if (taken_ > step || slots_.empty()) return;
    HelpOrWait();
  }
}

void Pipeline::WaitForAll() {
  uint64_t last;
  {
    MutexLock lock(mutex_);
    if (slots_.empty()) return;
    last = taken_ + slots_.size() - 1;
  }
  WaitFor(last);
}

void Pipeline::HelpOrWait() {
  if (!queue_.empty()) {
    Job job = std::move(queue_.front());
    queue_.pop_front();
    mutex_.Unlock();
    RunJob(0, job);
    mutex_.Lock();
  } else if (!slots_.empty() && !slots_.front().done) {
    progress_.Wait(mutex_);
  }
}

void Pipeline::WorkerLoop(unsigned thread) {
  MutexLock lock(mutex_);
  for (;;) {
    while (queue_.empty() && !stopping_) work_.Wait(mutex_);
    if (queue_.empty()) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    mutex_.Unlock();
    RunJob(thread, job);
    mutex_.Lock();
  }
}

void Pipeline::RunJob(unsigned thread, Job& job) {
  std::vector<Outcome> outcomes(job.steps.size());
  try {
    job.work(thread, &outcomes);
  } catch (const std::exception& failure) {
    const std::string why = dynamic_cast<const std::bad_alloc*>(&failure) ? "out of memory" : failure.what();
    for (Outcome& outcome : outcomes) {
      if (outcome.err.empty()) outcome.err = "unzip: " + why + "\n";
      outcome.status = std::max(outcome.status, kExitIo);
    }
  }
  // What the job holds (open directories among it) is let go before its
  // steps count as finished, so that a wait for them waits for that too.
  job.work = nullptr;
  {
    MutexLock lock(mutex_);
    for (size_t i = 0; i < job.steps.size(); ++i) {
      Slot& slot = slots_[job.steps[i] - taken_];
      slot.outcome = std::move(outcomes[i]);
      slot.done = true;
    }
  }
  progress_.WakeAll();
}

bool Pipeline::TakeReady() {
  std::vector<Outcome> ready;
  {
    MutexLock lock(mutex_);
    while (!slots_.empty() && slots_.front().done) {
      ready.push_back(std::move(slots_.front().outcome));
      slots_.pop_front();
      ++taken_;
    }
  }
  for (Outcome& outcome : ready) take_(outcome);
  return !ready.empty();
}

}  // namespace unzip
