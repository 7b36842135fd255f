#pragma once
// Timing points: where the program's time goes at start-up, per received
// message and at exit. Built only with the CMake option VELLO_TIMING (off
// by default); without it every VELLO_TIMING_ONLY(...) vanishes and nothing
// here is compiled in.
//
// With it, the program writes what it measured when it ends (or when
// timing::Write is called) to the file named by the environment variable
// VELLO_TIMING_FILE, or else to "<executable>.timing.txt" beside the
// executable, appending one block per run:
//   mark  NAME  MS          a moment, in ms since the process was created
//   step  NAME  N MEAN MAX  a step of a repeated path, N times, in ms
// bench/README.md says which breakdown comes from which points.
#if VELLO_TIMING
#define VELLO_TIMING_ONLY(...) __VA_ARGS__
#else
#define VELLO_TIMING_ONLY(...)
#endif

#if VELLO_TIMING
namespace vello::timing {

// Milliseconds since this process was created (the system's creation time).
double Now();
// A moment of the run, kept in order with its time.
void Mark(const char* name);
// A duration added to the step's count, sum and maximum.
void Add(const char* step, double ms);

// A path measured step by step: each Step adds the time since the previous
// one (or since construction) as "span.step"; the destructor adds the whole
// as "span.total".
class Stopwatch {
 public:
  explicit Stopwatch(const char* span);
  Stopwatch(const char* span, double startedAt);
  ~Stopwatch();
  Stopwatch(const Stopwatch&) = delete;
  Stopwatch& operator=(const Stopwatch&) = delete;
  void Step(const char* step);

 private:
  const char* span_;
  double start_, last_;
};

// Appends what was measured so far to the timing file and forgets it.
void Write();

}  // namespace vello::timing
#endif
