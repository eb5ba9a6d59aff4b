// The real sound output; see pulse_output.h.
#include "app/audio/pulse_output.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <pulse/timeval.h>
#include <sndfile.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qorvex {

namespace {

constexpr char kClientName[] = "Qorvex";
constexpr char kStreamName[] = "Morse und Ton";
constexpr sf_count_t kChunkFrames = 2048;
// A small server buffer keeps the start of each sound, and so the rhythm of
// a Morse word, close to the moment it is written.
constexpr pa_usec_t kTargetLatency = 100 * PA_USEC_PER_MSEC;

std::string ServerError(const char* what, int error) {
  return std::string(what) + " (" + pa_strerror(error) + ")";
}

}  // namespace

// Owned jointly by the caller and the worker thread: when the watchdog gives
// up on a worker stuck in a server call, the worker keeps its Playback alive
// and frees it whenever that call returns.
struct PulseOutput::Playback {
  enum class Stage { kConnecting, kPlaying, kDone };

  SNDFILE* file = nullptr;
  SF_INFO info{};

  std::mutex mutex;
  std::condition_variable changed;
  Stage stage = Stage::kConnecting;  // guarded by mutex
  std::string error;                 // guarded by mutex; set with kDone on failure

  ~Playback() {
    if (file != nullptr) sf_close(file);
  }

  void Enter(Stage next, std::string failure = {}) {
    {
      std::lock_guard lock(mutex);
      stage = next;
      error = std::move(failure);
    }
    changed.notify_all();
  }

  std::chrono::milliseconds Length() const {
    const sf_count_t ms = info.frames / info.samplerate * 1000 +
                          info.frames % info.samplerate * 1000 / info.samplerate;
    return std::chrono::milliseconds(std::clamp<sf_count_t>(ms, 0, 24 * 3600 * 1000));
  }

  // The worker: connect, write the decoded frames, drain, disconnect.
  void Run() {
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = static_cast<uint32_t>(info.samplerate);
    spec.channels = static_cast<uint8_t>(info.channels);
    pa_buffer_attr attr{};
    attr.maxlength = attr.prebuf = attr.minreq = attr.fragsize = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatency, &spec));
    int error = 0;
    pa_simple* server = pa_simple_new(nullptr, kClientName, PA_STREAM_PLAYBACK, nullptr,
                                      kStreamName, &spec, nullptr, &attr, &error);
    if (server == nullptr) {
      Enter(Stage::kDone, ServerError("kein Tonserver erreichbar", error));
      return;
    }
    Enter(Stage::kPlaying);
    std::string failure;
    std::vector<int16_t> chunk(static_cast<size_t>(kChunkFrames) * spec.channels);
    for (;;) {
      const sf_count_t frames = sf_readf_short(file, chunk.data(), kChunkFrames);
      if (frames <= 0) break;
      const size_t bytes = static_cast<size_t>(frames) * spec.channels * sizeof(int16_t);
      if (pa_simple_write(server, chunk.data(), bytes, &error) < 0) {
        failure = ServerError("Tonserver-Verbindung abgebrochen", error);
        break;
      }
    }
    if (failure.empty() && sf_error(file) != SF_ERR_NO_ERROR) failure = sf_strerror(file);
    if (failure.empty() && pa_simple_drain(server, &error) < 0)
      failure = ServerError("Tonserver-Verbindung abgebrochen", error);
    pa_simple_free(server);
    Enter(Stage::kDone, std::move(failure));
  }
};

PulseOutput::PulseOutput() = default;
PulseOutput::~PulseOutput() = default;

void PulseOutput::Close() {
  open_.reset();
}

void PulseOutput::Open() {
  Close();
  auto p = std::make_shared<Playback>();
  p->file = sf_open(path_.c_str(), SFM_READ, &p->info);
  if (p->file == nullptr) throw EMediaError(EMediaError::Step::kOpen, path_, sf_strerror(nullptr));
  pa_sample_spec spec{PA_SAMPLE_S16NE, static_cast<uint32_t>(std::max(p->info.samplerate, 0)),
                      static_cast<uint8_t>(std::clamp(p->info.channels, 0, 255))};
  if (p->info.channels < 1 || p->info.channels > static_cast<int>(PA_CHANNELS_MAX) ||
      !pa_sample_spec_valid(&spec))
    throw EMediaError(EMediaError::Step::kOpen, path_,
                      "Kan\xE4le oder Abtastrate nicht abspielbar (" +
                          std::to_string(p->info.channels) + " Kan\xE4le, " +
                          std::to_string(p->info.samplerate) + " Hz)");
  open_ = std::move(p);
}

// Why this cannot hang: the caller only waits on the condition variable, each
// time with a deadline (the connection timeout, then the sound's length plus
// the grace). A worker that misses it is detached and keeps the Playback; the
// caller returns with an error at once. A stalled server can keep such a
// worker blocked, never the caller.
void PulseOutput::PlayAndWait() {
  if (!open_)
    throw EMediaError(EMediaError::Step::kPlay, path_,
                      "nicht ge\xF6"
                      "ffnet");
  std::shared_ptr<Playback> p = std::move(open_);
  std::thread worker;
  try {
    worker = std::thread([p] { p->Run(); });
  } catch (const std::system_error& e) {
    throw EMediaError(EMediaError::Step::kPlay, path_, e.what());
  }
  std::unique_lock lock(p->mutex);
  using Stage = Playback::Stage;
  bool inTime =
      p->changed.wait_for(lock, kConnectTimeout, [&] { return p->stage != Stage::kConnecting; });
  if (inTime && p->stage == Stage::kPlaying)
    inTime = p->changed.wait_for(lock, p->Length() + kWatchdogGrace,
                                 [&] { return p->stage == Stage::kDone; });
  const std::string error = p->error;
  lock.unlock();
  if (!inTime) {
    worker.detach();
    throw EMediaError(EMediaError::Step::kPlay, path_, "Tonserver antwortet nicht");
  }
  worker.join();
  if (!error.empty()) throw EMediaError(EMediaError::Step::kPlay, path_, error);
}

void PulseOutput::Pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace qorvex
