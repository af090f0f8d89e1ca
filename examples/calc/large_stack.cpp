#include "large_stack.hpp"

#include <pthread.h>

#include <exception>
#include <system_error>

namespace calc {
namespace {

struct Job {
  const std::function<int()>& run;
  int result = 0;
  std::exception_ptr error;
};

void* RunJob(void* argument) {
  Job& job = *static_cast<Job*>(argument);
  try {
    job.result = job.run();
  } catch (...) {
    job.error = std::current_exception();
  }
  return nullptr;
}

void Check(int error, const char* what) {
  if (error != 0) throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

int RunWithStack(std::size_t stack_bytes, const std::function<int()>& run) {
  Job job{run, 0, nullptr};
  pthread_attr_t attributes;
  Check(pthread_attr_init(&attributes), "pthread_attr_init");
  int error = pthread_attr_setstacksize(&attributes, stack_bytes);
  pthread_t thread;
  if (error == 0) error = pthread_create(&thread, &attributes, RunJob, &job);
  pthread_attr_destroy(&attributes);
  Check(error, "cannot start the calculator thread");
  Check(pthread_join(thread, nullptr), "pthread_join");
  if (job.error) std::rethrow_exception(job.error);
  return job.result;
}

}  // namespace calc
