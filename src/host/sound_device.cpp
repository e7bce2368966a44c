// The capture device: the default ALSA input, opened once and read one
// recording at a time. Neither the open nor a recording may hang the
// process: a busy device, or a configuration that reads a pipe nobody
// writes, would block in ALSA for ever. Both therefore run on a worker
// thread that the program waits for a bounded time; a worker that does not
// finish is left behind, and the device is not used again.
#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "sound.h"
#include "stop_signals.h"

namespace qv {

namespace {

constexpr unsigned RATE = 44100;
constexpr unsigned CHANNELS = 2;
constexpr u32 FRAME_BYTES = 4;           // left then right, 16 bits each
constexpr u32 MAX_FRAMES = 65536;
constexpr unsigned LATENCY_US = 500000;  // the device's own ring buffer
constexpr int MAX_RETRIES = 16;          // failed reads in a row before giving up
// A device that has not opened by then is reported as unavailable.
constexpr auto OPEN_WAIT = std::chrono::seconds(2);
// A recording that delivers no frame for this long has stalled.
constexpr auto STALL_WAIT = std::chrono::seconds(2);

snd_pcm_t* inHandle = nullptr;
snd_pcm_uframes_t chunk = 0;  // frames per read: one period of the device
bool device_lost = false;     // a worker still holds the device
bool worker_left = false;     // some worker may still be inside ALSA

// The worker records here, so that a worker left behind never writes into
// storage that the program uses.
u8 capture_buffer[MAX_FRAMES * FRAME_BYTES];

// ALSA would print its own complaints on stderr; the open line and a failed
// recording already tell a program's user what went wrong.
void alsa_silent(const char*, int, const char*, int, const char*, ...) {}

// What a worker hands back, shared because the worker may outlive the wait.
struct Job {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  bool abandoned = false;
  int err = 0;
  snd_pcm_t* pcm = nullptr;
  snd_pcm_uframes_t chunk = 0;
  std::atomic<u32> frames_done{0};

  void finish(int e) {
    std::lock_guard lock(m);
    err = e;
    done = true;
    cv.notify_one();
  }
};

// Opened without blocking, so that a busy device refuses at once; reads
// block again afterwards, bounded by the worker's wait.
int open_device(Job& job) {
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (err < 0) return err;
  err = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, CHANNELS,
                           RATE, 1, LATENCY_US);
  snd_pcm_uframes_t buffer_size = 0, period = 0;
  if (err == 0) err = snd_pcm_get_params(pcm, &buffer_size, &period);
  if (err == 0) err = snd_pcm_nonblock(pcm, 0);
  if (err < 0) {
    snd_pcm_close(pcm);
    return err;
  }
  job.pcm = pcm;
  job.chunk = period ? period : (buffer_size ? buffer_size : 1);
  return 0;
}

void open_worker(std::shared_ptr<Job> job) {
  Job scratch;
  const int err = open_device(scratch);
  // The open done, the worker stays to wait for the stop signals, unless
  // a thread does already: claimed before the program goes on, so that it
  // need not start one (and one that came during the open ends qvrun
  // before the program runs on).
  const bool waiter = claim_stop_waiting();
  {
    std::lock_guard lock(job->m);
    if (job->abandoned) {  // too late: nobody will use it
      if (scratch.pcm) snd_pcm_close(scratch.pcm);
    } else {
      job->pcm = scratch.pcm;
      job->chunk = scratch.chunk;
      job->err = err;
      job->done = true;
      job->cv.notify_one();
    }
  }
  job.reset();
  if (waiter) wait_for_stop_signals();
}

// One recording of `frames` frames into capture_buffer; progress goes to
// job.frames_done as it comes.
bool record(snd_pcm_t* pcm, snd_pcm_uframes_t period, u32 frames, Job& job) {
  // A recording starts when it is asked for: whatever the device gathered
  // since the last one is dropped.
  snd_pcm_drop(pcm);
  if (snd_pcm_prepare(pcm) < 0) return false;
  u8* out = capture_buffer;
  int retries = 0;
  while (frames > 0) {
    // Reads of one period at a time: some plugins (the file plugin among
    // them) cannot serve a read larger than the device's buffer.
    snd_pcm_uframes_t want = frames < period ? frames : period;
    snd_pcm_sframes_t got = snd_pcm_readi(pcm, out, want);
    if (got > 0) {
      out += static_cast<u32>(got) * FRAME_BYTES;
      frames -= static_cast<u32>(got);
      job.frames_done += static_cast<u32>(got);
      retries = 0;
      continue;
    }
    if (++retries > MAX_RETRIES) return false;
    if (got == -EPIPE) {  // overrun: the frames read so far stay, go on reading
      if (snd_pcm_prepare(pcm) < 0) return false;
    } else if (got == -ESTRPIPE) {
      if (snd_pcm_recover(pcm, static_cast<int>(got), 1) < 0) return false;
    } else if (got != -EINTR && got != -EAGAIN && got != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

void winopensound() {
  if (inHandle || device_lost) return;
  snd_lib_error_set_handler(alsa_silent);
  auto job = std::make_shared<Job>();
  std::thread(open_worker, job).detach();
  int err;
  {
    std::unique_lock lock(job->m);
    if (job->cv.wait_for(lock, OPEN_WAIT, [&] { return job->done; })) {
      err = job->err;
      inHandle = job->pcm;
      chunk = job->chunk;
    } else {
      job->abandoned = true;
      worker_left = true;
      err = -ETIMEDOUT;
    }
  }
  std::printf("\nDraw field created\ninput stream handler %x, error: %s\n",
              static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(inHandle)),
              err == 0 ? "none" : snd_strerror(err));
  std::fflush(stdout);
}

void closesound() {
  if (inHandle && !device_lost) snd_pcm_close(inHandle);
  inHandle = nullptr;
  device_lost = false;
  // A worker left inside ALSA may still read the cached configuration.
  if (!worker_left) snd_config_update_free_global();
}

u32 windowsfunc(u32 frames, u8* buffer) {
  // What the program printed shows before it waits for sound.
  std::fflush(stdout);
  if (!inHandle || device_lost || frames > MAX_FRAMES) return 0;
  auto job = std::make_shared<Job>();
  std::thread([job, pcm = inHandle, period = chunk, frames] {
    job->finish(record(pcm, period, frames, *job) ? 0 : -EIO);
  }).detach();
  std::unique_lock lock(job->m);
  u32 seen = 0;
  while (!job->cv.wait_for(lock, STALL_WAIT, [&] { return job->done; })) {
    const u32 now = job->frames_done;
    if (now == seen) {  // stalled: the worker keeps the device
      job->abandoned = true;
      device_lost = worker_left = true;
      return 0;
    }
    seen = now;
  }
  if (job->err) return 0;
  std::memcpy(buffer, capture_buffer, static_cast<size_t>(frames) * FRAME_BYTES);
  return 1;
}

}  // namespace qv
