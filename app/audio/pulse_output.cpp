// SPDX-License-Identifier: GPL-3.0-or-later
// The real sound output; see pulse_output.h.
//
// Threads: the caller's (Open, PlayAndWait) and the server thread of a
// threaded main loop, which runs every callback. The connection, the streams
// and the play state are touched only with the loop's lock held. Server calls
// never block (the asynchronous API), so the watchdog needs no thread of its
// own: a timer on the loop wakes the waiting caller, which then drops the
// connection itself.
//
// Why nothing of ours runs, and nothing is freed twice, when the process ends:
// 1. The server thread is the only thread of ours in the sound library, and it
//    only ever waits in poll(): stopping it is prompt.
// 2. It is stopped exactly once, under Registry::mutex, by whichever comes
//    first: ~Server, or the exit handler that the first Server registers with
//    atexit(). The libraries were loaded before that, so their destructors run
//    after the handler: exit() from anywhere, with the window destroyed or
//    not, leaves no thread in the library while it tears down.
// 3. The handler frees nothing. ~Server frees the streams, the connection and
//    the loop, and only after the thread has stopped. The registry is never
//    destroyed, so both find it intact at any point of the process's end.
#include "app/audio/pulse_output.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace qorvex {

namespace {

constexpr char kClientName[] = "Qorvex";
constexpr char kStreamName[] = "Morse und Ton";
// All the latency the stream asks for: what waits in its buffer plus the
// sink's own. A sound starts and ends within about this of being written.
constexpr pa_usec_t kTargetLatency = 50 * PA_USEC_PER_MSEC;
// How often the server is asked how far it has played, during a sound.
constexpr pa_usec_t kPollInterval = 100 * PA_USEC_PER_MSEC;
// The stream made with the connection has the Morse recordings' format; a
// file of another format gets a stream of its own when it plays.
constexpr pa_sample_spec kRecordingSpec = {PA_SAMPLE_S16NE, 44100, 1};

pa_usec_t Usec(std::chrono::milliseconds ms) {
  return static_cast<pa_usec_t>(ms.count()) * PA_USEC_PER_MSEC;
}

std::string WithCause(const char* what, int error) {
  return std::string(what) + " (" + pa_strerror(error) + ")";
}

class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

void Release(pa_operation*& op) {
  if (op == nullptr) return;
  pa_operation_cancel(op);
  pa_operation_unref(op);
  op = nullptr;
}

}  // namespace

struct PulseOutput::Sound {
  SNDFILE* file = nullptr;
  SF_INFO info{};
  pa_sample_spec spec{};

  ~Sound() {
    if (file != nullptr) sf_close(file);
  }
  uint64_t Bytes() const {
    return static_cast<uint64_t>(std::max<sf_count_t>(info.frames, 0)) * pa_frame_size(&spec);
  }
};

class PulseOutput::Server {
 public:
  Server();
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Plays sound to its end: "" when it did, else the cause.
  std::string Play(Sound& sound);

 private:
  struct Registry {
    std::mutex mutex;
    std::vector<Server*> live;  // every Server; running_ below is guarded here
  };
  static Registry& Live();
  static void StopAllAtExit();
  bool Running();

  // REQUIRES for all that follow: the loop's lock, or the thread stopped.
  std::string Prepare(const pa_sample_spec& spec);
  std::string Run(Sound& sound);
  std::string Failed(const std::string& streamCause);
  void Connect();
  void Disconnect();
  bool MakeStream(const pa_sample_spec& spec);
  static void Drop(pa_stream*& stream);
  bool ContextGood() const {
    return context_ != nullptr && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
  }
  bool StreamGood() const {
    return stream_ != nullptr && PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
  }
  int Errno() const { return context_ != nullptr ? pa_context_errno(context_) : PA_ERR_INTERNAL; }
  void Wait() { pa_threaded_mainloop_wait(loop_); }
  void Feed(size_t bytes);
  void Observe();
  void Extend(pa_usec_t deadline);
  void Arm(pa_time_event*& event, pa_usec_t at, pa_time_event_cb_t callback);
  void Disarm(pa_time_event*& event);

  // Callbacks, on the server thread with the lock held.
  static void OnContextState(pa_context* context, void* self);
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnWrite(pa_stream* stream, size_t bytes, void* self);
  static void OnDrained(pa_stream* stream, int success, void* self);
  static void OnTiming(pa_stream* stream, int success, void* self);
  static void OnDeadline(pa_mainloop_api*, pa_time_event*, const timeval*, void* self);
  static void OnPoll(pa_mainloop_api*, pa_time_event*, const timeval*, void* self);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_mainloop_api* api_ = nullptr;
  bool running_ = false;  // guarded by Live().mutex

  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;             // the stream sounds play on
  pa_stream* retiring_ = nullptr;           // its predecessor, until it is ready
  pa_sample_spec wanted_ = kRecordingSpec;  // the format a new stream gets

  // The sound playing and how far the server has got with it.
  Sound* sound_ = nullptr;
  uint64_t written_ = 0;  // bytes of it written to the stream
  bool fed_ = false;      // all written, the drain asked for
  bool drained_ = false;  // the server has played it all
  std::string failure_;
  pa_operation* drainOp_ = nullptr;
  pa_operation* timingOp_ = nullptr;
  int64_t lastRead_ = -1;      // the server's read index at its last report
  pa_usec_t lastAdvance_ = 0;  // when the read index last moved on
  pa_usec_t deadline_ = 0;
  bool timedOut_ = false;
  pa_time_event* deadlineEvent_ = nullptr;
  pa_time_event* pollEvent_ = nullptr;
};

// ---- Life and the process's end ----

PulseOutput::Server::Registry& PulseOutput::Server::Live() {
  static Registry* const registry = [] {
    auto* r = new Registry;  // never freed: see the top of the file
    std::atexit(&StopAllAtExit);
    return r;
  }();
  return *registry;
}

void PulseOutput::Server::StopAllAtExit() {
  Registry& r = Live();
  std::lock_guard guard(r.mutex);
  for (Server* s : r.live) {
    if (s->running_) pa_threaded_mainloop_stop(s->loop_);
    s->running_ = false;
  }
}

bool PulseOutput::Server::Running() {
  std::lock_guard guard(Live().mutex);
  return running_;
}

PulseOutput::Server::Server() {
  loop_ = pa_threaded_mainloop_new();
  if (loop_ == nullptr) return;
  api_ = pa_threaded_mainloop_get_api(loop_);
  {
    Registry& r = Live();
    std::lock_guard guard(r.mutex);
    r.live.push_back(this);
    running_ = pa_threaded_mainloop_start(loop_) == 0;
    if (!running_) return;  // Play says so
  }
  LoopLock lock(loop_);
  Connect();
}

PulseOutput::Server::~Server() {
  if (loop_ == nullptr) return;
  {
    Registry& r = Live();
    std::lock_guard guard(r.mutex);
    std::erase(r.live, this);
    if (running_) pa_threaded_mainloop_stop(loop_);
    running_ = false;
  }
  // The thread has ended: nothing else touches what follows.
  Disarm(deadlineEvent_);
  Disarm(pollEvent_);
  Release(drainOp_);
  Release(timingOp_);
  Disconnect();
  pa_threaded_mainloop_free(loop_);
}

// ---- Connection and streams ----

// Never starts a server: that waits for the new process, with the lock held
// and no deadline; a desktop session runs its server already.
void PulseOutput::Server::Connect() {
  Disconnect();
  context_ = pa_context_new(api_, kClientName);
  if (context_ == nullptr) return;
  pa_context_set_state_callback(context_, &OnContextState, this);
  // A refusal shows as a state that is not good, with its cause in the errno.
  pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

void PulseOutput::Server::Disconnect() {
  Drop(stream_);
  Drop(retiring_);
  if (context_ == nullptr) return;
  pa_context_set_state_callback(context_, nullptr, nullptr);
  pa_context_disconnect(context_);
  pa_context_unref(context_);
  context_ = nullptr;
}

// The new stream replaces stream_ at once; the old one goes only when the new
// one is ready, so that the sink never runs a moment without a stream of ours
// and falls back to its long idle latency.
bool PulseOutput::Server::MakeStream(const pa_sample_spec& spec) {
  Drop(retiring_);
  pa_stream* s = pa_stream_new(context_, kStreamName, &spec, nullptr);
  if (s == nullptr) return false;
  pa_buffer_attr attr;
  attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<uint32_t>(-1);
  attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatency, &spec));
  pa_stream_set_state_callback(s, &OnStreamState, this);
  pa_stream_set_write_callback(s, &OnWrite, this);
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
  if (pa_stream_connect_playback(s, nullptr, &attr, flags, nullptr, nullptr) < 0) {
    Drop(s);
    return false;
  }
  retiring_ = stream_;
  stream_ = s;
  return true;
}

void PulseOutput::Server::Drop(pa_stream*& stream) {
  if (stream == nullptr) return;
  pa_stream_set_state_callback(stream, nullptr, nullptr);
  pa_stream_set_write_callback(stream, nullptr, nullptr);
  pa_stream_disconnect(stream);
  pa_stream_unref(stream);
  stream = nullptr;
}

void PulseOutput::Server::OnContextState(pa_context* context, void* self) {
  auto* s = static_cast<Server*>(self);
  if (context == s->context_ && pa_context_get_state(context) == PA_CONTEXT_READY &&
      s->stream_ == nullptr)
    s->MakeStream(s->wanted_);  // a failure is seen, and said, by Play
  pa_threaded_mainloop_signal(s->loop_, 0);
}

void PulseOutput::Server::OnStreamState(pa_stream* stream, void* self) {
  auto* s = static_cast<Server*>(self);
  if (stream == s->stream_ && pa_stream_get_state(stream) == PA_STREAM_READY) Drop(s->retiring_);
  pa_threaded_mainloop_signal(s->loop_, 0);
}

// ---- Playing ----

std::string PulseOutput::Server::Play(Sound& sound) {
  if (loop_ == nullptr || !Running()) return "Tonausgabe nicht gestartet";
  LoopLock lock(loop_);
  timedOut_ = false;
  deadline_ = pa_rtclock_now() + Usec(kConnectTimeout);
  Arm(deadlineEvent_, deadline_, &OnDeadline);
  std::string error = Prepare(sound.spec);
  if (error.empty()) error = Run(sound);
  Disarm(deadlineEvent_);
  return error;
}

// Connects and makes the stream when they are missing, lost or of another
// format, by the connection deadline.
std::string PulseOutput::Server::Prepare(const pa_sample_spec& spec) {
  wanted_ = spec;
  if (!ContextGood()) Connect();
  if (context_ == nullptr) return WithCause("kein Tonserver erreichbar", PA_ERR_INTERNAL);
  auto connecting = [&] {
    const pa_context_state_t state = pa_context_get_state(context_);
    return state == PA_CONTEXT_CONNECTING || state == PA_CONTEXT_AUTHORIZING ||
           state == PA_CONTEXT_SETTING_NAME;
  };
  while (connecting() && !timedOut_) Wait();
  if (pa_context_get_state(context_) != PA_CONTEXT_READY) {
    const std::string why =
        timedOut_ ? "Tonserver antwortet nicht" : WithCause("kein Tonserver erreichbar", Errno());
    Disconnect();
    return why;
  }
  if (!StreamGood() || !pa_sample_spec_equal(pa_stream_get_sample_spec(stream_), &spec)) {
    if (!MakeStream(spec)) return WithCause("Tonserver spielt nicht ab", Errno());
  }
  while (pa_stream_get_state(stream_) == PA_STREAM_CREATING && ContextGood() && !timedOut_) Wait();
  if (pa_stream_get_state(stream_) == PA_STREAM_READY) return "";
  return Failed(WithCause("Tonserver spielt nicht ab", Errno()));
}

// Why a sound could not be played, and what is dropped for it: a lost
// connection or a server that stopped answering costs the connection (the
// next sound connects anew); anything else costs only the stream, and
// streamCause says why.
std::string PulseOutput::Server::Failed(const std::string& streamCause) {
  if (ContextGood() && !timedOut_) {
    Drop(stream_);  // the next sound gets a fresh one
    return streamCause;
  }
  const std::string why = !ContextGood() ? WithCause("Tonserver-Verbindung abgebrochen", Errno())
                                         : std::string("Tonserver antwortet nicht");
  Disconnect();
  return why;
}

// The watchdog: the deadline is the moment the server's read index last
// moved on, plus what of the sound it has not read yet, plus the latency it
// reports, plus the grace; it only ever moves later. A server that plays on
// never meets it, however long its latency; one that stalls meets it within
// the sound's length, its latency and the grace.
std::string PulseOutput::Server::Run(Sound& sound) {
  sound_ = &sound;
  written_ = 0;
  fed_ = drained_ = false;
  failure_.clear();
  lastRead_ = -1;
  lastAdvance_ = pa_rtclock_now();
  deadline_ = 0;
  Extend(lastAdvance_ + pa_bytes_to_usec(sound.Bytes(), &sound.spec) + Usec(kWatchdogGrace));
  timingOp_ = pa_stream_update_timing_info(stream_, &OnTiming, this);
  Arm(pollEvent_, lastAdvance_ + kPollInterval, &OnPoll);
  const size_t writable = pa_stream_writable_size(stream_);
  Feed(writable == static_cast<size_t>(-1) ? 0 : writable);
  if (pa_operation* op = pa_stream_cork(stream_, 0, nullptr, nullptr)) pa_operation_unref(op);
  while (!drained_ && failure_.empty() && !timedOut_ && ContextGood() && StreamGood()) Wait();

  Release(drainOp_);
  Release(timingOp_);
  Disarm(pollEvent_);
  sound_ = nullptr;
  if (drained_) {
    // Corked, the stream leaves the sink free to sleep between sounds.
    if (pa_operation* op = pa_stream_cork(stream_, 1, nullptr, nullptr)) pa_operation_unref(op);
    return "";
  }
  return Failed(!failure_.empty() ? failure_
                                  : WithCause("Tonserver hat die Wiedergabe abgebrochen", Errno()));
}

// Writes up to bytes of the sound; at its end asks the server to drain.
void PulseOutput::Server::Feed(size_t bytes) {
  if (sound_ == nullptr || fed_ || !failure_.empty() || !StreamGood()) return;
  const size_t frame = pa_frame_size(&sound_->spec);
  while (bytes >= frame) {
    void* data = nullptr;
    size_t size = bytes;
    if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) return;
    const sf_count_t want = static_cast<sf_count_t>(std::min(size, bytes) / frame);
    if (want == 0) {
      pa_stream_cancel_write(stream_);
      return;
    }
    const sf_count_t got = sf_readf_short(sound_->file, static_cast<short*>(data), want);
    if (got > 0) {
      const size_t n = static_cast<size_t>(got) * frame;
      pa_stream_write(stream_, data, n, nullptr, 0, PA_SEEK_RELATIVE);
      written_ += n;
      bytes -= std::min(bytes, n);
    } else {
      pa_stream_cancel_write(stream_);
    }
    if (got < want || written_ >= sound_->Bytes()) {
      if (sf_error(sound_->file) != SF_ERR_NO_ERROR) {
        failure_ = sf_strerror(sound_->file);
        pa_threaded_mainloop_signal(loop_, 0);
        return;
      }
      fed_ = true;
      drainOp_ = pa_stream_drain(stream_, &OnDrained, this);
      return;
    }
  }
}

void PulseOutput::Server::Observe() {
  const pa_timing_info* t = pa_stream_get_timing_info(stream_);
  if (t == nullptr || sound_ == nullptr) return;
  const pa_usec_t now = pa_rtclock_now();
  uint64_t buffered = 0;
  if (!t->read_index_corrupt) {
    if (lastRead_ >= 0 && t->read_index > lastRead_) lastAdvance_ = now;
    lastRead_ = t->read_index;
    if (!t->write_index_corrupt && t->write_index > t->read_index)
      buffered = static_cast<uint64_t>(t->write_index - t->read_index);
  }
  const uint64_t unread = sound_->Bytes() - std::min(written_, sound_->Bytes()) + buffered;
  const pa_usec_t latency = std::max(t->sink_usec, t->configured_sink_usec) + t->transport_usec;
  Extend(lastAdvance_ + pa_bytes_to_usec(unread, &sound_->spec) + latency + Usec(kWatchdogGrace));
}

void PulseOutput::Server::Extend(pa_usec_t deadline) {
  if (deadline <= deadline_) return;
  deadline_ = deadline;
  Arm(deadlineEvent_, deadline_, &OnDeadline);
}

void PulseOutput::Server::Arm(pa_time_event*& event, pa_usec_t at, pa_time_event_cb_t callback) {
  // In wall-clock time, which the loop turns into its monotonic time at once.
  const pa_usec_t now = pa_rtclock_now();
  timeval tv{};
  pa_timeval_add(pa_gettimeofday(&tv), at > now ? at - now : 0);
  if (event != nullptr)
    api_->time_restart(event, &tv);
  else
    event = api_->time_new(api_, &tv, callback, this);
}

void PulseOutput::Server::Disarm(pa_time_event*& event) {
  if (event == nullptr) return;
  api_->time_free(event);
  event = nullptr;
}

void PulseOutput::Server::OnWrite(pa_stream* stream, size_t bytes, void* self) {
  auto* s = static_cast<Server*>(self);
  if (stream == s->stream_) s->Feed(bytes);
}

void PulseOutput::Server::OnDrained(pa_stream*, int success, void* self) {
  auto* s = static_cast<Server*>(self);
  pa_operation_unref(s->drainOp_);
  s->drainOp_ = nullptr;
  if (success)
    s->drained_ = true;
  else if (s->failure_.empty())
    s->failure_ = WithCause("Tonserver hat die Wiedergabe abgebrochen", s->Errno());
  pa_threaded_mainloop_signal(s->loop_, 0);
}

void PulseOutput::Server::OnTiming(pa_stream* stream, int success, void* self) {
  auto* s = static_cast<Server*>(self);
  pa_operation_unref(s->timingOp_);
  s->timingOp_ = nullptr;
  if (success && stream == s->stream_) s->Observe();
}

void PulseOutput::Server::OnDeadline(pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
  auto* s = static_cast<Server*>(self);
  s->timedOut_ = true;
  pa_threaded_mainloop_signal(s->loop_, 0);
}

void PulseOutput::Server::OnPoll(pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
  auto* s = static_cast<Server*>(self);
  if (s->sound_ != nullptr && s->StreamGood() && s->timingOp_ == nullptr)
    s->timingOp_ = pa_stream_update_timing_info(s->stream_, &OnTiming, s);
  s->Arm(s->pollEvent_, pa_rtclock_now() + kPollInterval, &OnPoll);
}

// ---- The output ----

PulseOutput::PulseOutput() : server_(std::make_unique<Server>()) {}
PulseOutput::~PulseOutput() = default;

void PulseOutput::Close() {
  open_.reset();
}

void PulseOutput::Open() {
  Close();
  auto s = std::make_unique<Sound>();
  s->file = sf_open(path_.c_str(), SFM_READ, &s->info);
  if (s->file == nullptr) throw EMediaError(EMediaError::Step::kOpen, path_, sf_strerror(nullptr));
  s->spec = {PA_SAMPLE_S16NE, static_cast<uint32_t>(std::max(s->info.samplerate, 0)),
             static_cast<uint8_t>(std::clamp(s->info.channels, 0, 255))};
  if (s->info.channels < 1 || s->info.channels > static_cast<int>(PA_CHANNELS_MAX) ||
      !pa_sample_spec_valid(&s->spec))
    throw EMediaError(EMediaError::Step::kOpen, path_,
                      "Kan\xE4le oder Abtastrate nicht abspielbar (" +
                          std::to_string(s->info.channels) + " Kan\xE4le, " +
                          std::to_string(s->info.samplerate) + " Hz)");
  open_ = std::move(s);
}

void PulseOutput::PlayAndWait() {
  if (!open_)
    throw EMediaError(EMediaError::Step::kPlay, path_,
                      "nicht ge\xF6"
                      "ffnet");
  const std::unique_ptr<Sound> sound = std::move(open_);
  const std::string error = server_->Play(*sound);
  if (!error.empty()) throw EMediaError(EMediaError::Step::kPlay, path_, error);
}

void PulseOutput::Pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qorvex
