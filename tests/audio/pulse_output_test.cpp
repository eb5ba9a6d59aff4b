// SPDX-License-Identifier: GPL-3.0-or-later
// The real sound output against a private sound server with a null sink:
// what it plays (recorded from the sink's monitor), and that a missing,
// lost or stalled server is an error, never a hang.
#include "app/audio/pulse_output.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "app/core/morse.h"
#include "app/core/wavfile.h"
#include "tests/audio/signal.h"
#include "tests/isam/testutil.h"
#include "tests/tools/run_program.h"

namespace qorvex::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;

void Stop(pid_t& pid, int signal = SIGTERM) {
  if (pid <= 0) return;
  kill(pid, signal);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  for (const auto end = Clock::now() + limit; Clock::now() < end;) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

off_t FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// A private server in a scratch folder: a null sink "rec" and a socket of its
// own, so that it runs beside any desktop session and as root. It ends by its
// process id, as do the recorder and the keeper stream.
class PrivateServer {
 public:
  PrivateServer() {
    const std::string d = dir_.path();
    env_ = {"XDG_RUNTIME_DIR=" + d, "HOME=" + d, "PULSE_SERVER=" + Address()};
    server_ = Run(
        "pulseaudio",
        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-target=stderr",
         "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + Socket(), "-L",
         "module-null-sink sink_name=rec"},
        "server.log");
    const bool up = WaitFor(
        [&] {
          const pid_t info = Run("pactl", {"info"}, "pactl.log");
          int status = 0;
          waitpid(info, &status, 0);
          return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        },
        std::chrono::seconds(20));
    EXPECT_TRUE(up) << "the sound server did not start; see " << dir_ / "server.log";
    setenv("PULSE_SERVER", Address().c_str(), 1);
  }
  ~PrivateServer() {
    Stop(recorder_);
    Stop(keeper_);
    Continue();
    Stop(server_);
  }

  std::string Socket() const { return dir_ / "pa.sock"; }
  std::string Address() const { return "unix:" + Socket(); }
  const TempDir& dir() const { return dir_; }

  // A low-latency stream of silence: the sink then mixes in small steps, so
  // that the gaps between sounds come out as played.
  void StartKeeper() {
    keeper_ = Run("pacat",
                  {"--raw", "--format=s16le", "--rate=44100", "--channels=1", "--latency-msec=10"},
                  "keeper.log", "/dev/zero");
  }
  // Records the sink's monitor (mono, 16 bit, 44100 Hz) until StopRecording.
  // The recorder asks for latencyMs: a small one holds the sink at a small
  // latency as a keeper stream does, 2000 leaves the sink as it would be.
  void StartRecording(int latencyMs = 10) {
    recorderLatencyMs_ = latencyMs;
    recorder_ = StartProgram("parec",
                             {"-d", "rec.monitor", "--raw", "--format=s16le", "--rate=44100",
                              "--channels=1", "--latency-msec=" + std::to_string(latencyMs)},
                             Recording(), dir_ / "parec.log", {.env = env_});
    ASSERT_TRUE(WaitFor([&] { return FileSize(Recording()) > 0; },
                        std::chrono::milliseconds(latencyMs) + std::chrono::seconds(10)))
        << "the recorder wrote nothing";
  }
  std::vector<int16_t> StopRecording() {
    // What the sink played until now arrives within the recorder's latency.
    const off_t end = FileSize(Recording()) + off_t(kRate) * 2 * (recorderLatencyMs_ + 300) / 1000;
    EXPECT_TRUE(WaitFor([&] { return FileSize(Recording()) >= end; }, std::chrono::seconds(10)));
    Stop(recorder_);
    const Bytes bytes = ReadAll(Recording());
    std::vector<int16_t> s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return s;
  }

  // Runs program with the server's variables; its output and errors to log.
  pid_t Run(const std::string& program, const std::vector<std::string>& args,
            const std::string& log, const std::string& in = "/dev/null") const {
    return StartProgram(program, args, dir_ / log, dir_ / log, {.in = in, .env = env_});
  }
  void Pause() { kill(server_, SIGSTOP); }
  void Continue() { kill(server_, SIGCONT); }
  void Kill() { Stop(server_, SIGKILL); }

 private:
  std::string Recording() const { return dir_ / "rec.raw"; }

  TempDir dir_;
  std::vector<std::string> env_;
  pid_t server_ = -1, keeper_ = -1, recorder_ = -1;
  int recorderLatencyMs_ = 10;
};

class PulseOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v pulseaudio >/dev/null") != 0)
      GTEST_SKIP() << "no 'pulseaudio' program: the sound server tests need it";
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(QORVEX_RECORDINGS);
  }
  void TearDown() override {
    if (!old_.empty()) std::filesystem::current_path(old_);
  }

  std::filesystem::path old_;
};

constexpr int kLoud = 655;  // 2 % of full scale; the null sink's silence is 0

// From the first sound of the first file to the last sound of the last one,
// played one after the other with the fast mode's pause after each.
double ExpectedSpanMs(const std::vector<std::string>& files) {
  double ms = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const std::vector<int16_t> s = ReadWav(files[i]);
    const std::vector<Span> sounds = Sounding(s, kLoud);
    EXPECT_FALSE(sounds.empty()) << files[i];
    if (sounds.empty()) return 0;
    const size_t from = i == 0 ? sounds.front().begin : 0;
    const size_t to = i + 1 == files.size() ? sounds.back().end : s.size();
    ms += Ms(double(to - from)) + (i + 1 < files.size() ? kCharPauseFast : 0);
  }
  return ms;
}

// The heard elements from first to last: '.' for a dot, '-' for a dash.
std::string Elements(const std::vector<Span>& spans) {
  std::string e;
  for (const Span& r : spans) e += Ms(double(r.end - r.begin)) > 120 ? '-' : '.';
  return e;
}

double SpanMs(const std::vector<Span>& spans) {
  return spans.empty() ? 0 : Ms(double(spans.back().end - spans.front().begin));
}

// The message of the EMediaError that playing file raises, or "none".
std::string PlayError(const std::string& file) {
  PulseOutput out;
  try {
    PlayWaveFile(file, out);
  } catch (const EMediaError& e) {
    return e.what();
  }
  return "none";
}

TEST_F(PulseOutputTest, PlaysSosWithTheRhythmOfTheRecordings) {
  PrivateServer server;
  server.StartKeeper();
  server.StartRecording();
  PulseOutput out;
  PlayMorseText("SOS ", true, out);
  const std::vector<int16_t> heard = server.StopRecording();

  const double expected = ExpectedSpanMs({"S.WAV", "O.WAV", "S.WAV"});
  const std::vector<Span> spans = Sounding(heard, kLoud);
  ASSERT_FALSE(spans.empty()) << "nothing was heard";
  EXPECT_NEAR(SpanMs(spans), expected, 100);
  EXPECT_EQ(Elements(spans), "...---...");
  const double pitch = Pitch(heard, spans, kRate);
  EXPECT_NEAR(pitch, 600, 12);
  std::printf("played span %.1f ms, recordings %.1f ms, pitch %.1f Hz\n", SpanMs(spans), expected,
              pitch);
}

// Nothing else plays, so the sink runs at the long latency it idles at: each
// word keeps its rhythm all the same, and a word takes the recordings, the
// pauses and a few milliseconds per character, never seconds.
TEST_F(PulseOutputTest, PlaysInRhythmOnAServerWithoutOtherStreams) {
  PrivateServer server;
  server.StartRecording(2000);
  PulseOutput out;
  const std::string word = "599";
  const std::vector<std::string> files = {"5.WAV", "9.WAV", "9.WAV"};
  const double expected = ExpectedSpanMs(files);
  double sum = 0;
  for (const std::string& f : files) sum += Ms(double(ReadWav(f).size())) + kCharPauseFast;
  std::vector<double> took;
  for (int i = 0; i < 2; ++i) {
    const auto start = Clock::now();
    PlayMorseText(word, true, out);
    took.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const std::vector<Span> spans = Sounding(server.StopRecording(), kLoud);
  const std::string one = ".....----.----.";
  ASSERT_EQ(Elements(spans), one + one);
  const std::vector<Span> first(spans.begin(), spans.begin() + one.size()),
      second(spans.begin() + one.size(), spans.end());
  EXPECT_NEAR(SpanMs(first), expected, 100);
  EXPECT_NEAR(SpanMs(second), expected, 100);
  // The first word may wait once for the sink to take up the stream's latency.
  EXPECT_LT(took[1], sum + 100 * files.size());
  std::printf(
      "played spans %.1f and %.1f ms, recordings %.1f ms; the second word took %.1f ms "
      "for %.1f ms of recordings and pauses (%.1f ms more per character)\n",
      SpanMs(first), SpanMs(second), expected, took[1], sum,
      (took[1] - sum) / double(files.size()));
}

TEST_F(PulseOutputTest, ErrorsNameTheFileAndTheCause) {
  TempDir dir;
  WriteAll(dir / "X.WAV", {'n', 'o', ' ', 'w', 'a', 'v', 'e'});
  setenv("PULSE_SERVER", ("unix:" + dir / "none.sock").c_str(), 1);
  const std::string open = PlayError(dir / "X.WAV"), play = PlayError("S.WAV");
  EXPECT_TRUE(open.starts_with("Tondatei konnte nicht ge\366ffnet werden: " + dir / "X.WAV" + ": "))
      << open;
  EXPECT_TRUE(
      play.starts_with("Tondatei konnte nicht abgespielt werden: S.WAV: kein Tonserver erreichbar"))
      << play;
}

// The server fails at some moment: the call returns with an error within the
// connection timeout plus the file's length plus the grace.
TEST_F(PulseOutputTest, AServerThatStopsAnsweringIsAnErrorNotAHang) {
  enum class Fault { kSilentSocket, kStopMidPlay, kKillMidPlay };
  const std::tuple<const char*, Fault, std::string> cases[] = {
      {"socket that never answers", Fault::kSilentSocket, "Tonserver antwortet nicht"},
      {"server stopped while playing", Fault::kStopMidPlay, "Tonserver antwortet nicht"},
      {"server killed while playing", Fault::kKillMidPlay, "Tonserver-Verbindung abgebrochen"},
  };
  for (const auto& [what, kind, reason] : cases) {
    PrivateServer server;
    int silent = -1;
    if (kind == Fault::kSilentSocket) {
      const std::string path = server.dir() / "silent.sock";
      silent = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr{};
      addr.sun_family = AF_UNIX;
      std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
      ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
      ASSERT_EQ(listen(silent, 4), 0);
      setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);
    }
    std::thread fault([&] {
      if (kind == Fault::kSilentSocket) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      kind == Fault::kStopMidPlay ? server.Pause() : server.Kill();
    });
    const auto start = Clock::now();
    const std::string error = PlayError("TON600.WAV");
    const auto took = Clock::now() - start;
    fault.join();
    EXPECT_NE(error.find(reason), std::string::npos) << what << ": " << error;
    EXPECT_LT(took, PulseOutput::kConnectTimeout + std::chrono::seconds(2) +
                        PulseOutput::kWatchdogGrace + std::chrono::seconds(3))
        << what;
    if (silent >= 0) close(silent);  // lets the abandoned worker finish
  }
}

// The process ends (exit(), or a return from main with the output a static
// object) right after the watchdog gave up on a server that never answers:
// nothing of the output may still run while the libraries tear down.
TEST_F(PulseOutputTest, EndingTheProcessAfterTheWatchdogFiredLeavesNoThreadRunning) {
  TempDir dir;
  const std::string modes[] = {"exit", "return"};
  std::vector<pid_t> probes;
  for (const std::string& m : modes)
    probes.push_back(StartProgram(QORVEX_EXIT_PROBE, {m, dir / (m + ".sock"), QORVEX_RECORDINGS},
                                  dir / (m + ".log"), dir / (m + ".log")));
  for (size_t i = 0; i < probes.size(); ++i) {
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(probes[i], &status, WNOHANG) == probes[i]; },
                               PulseOutput::kConnectTimeout + std::chrono::seconds(10));
    if (!ended) Stop(probes[i], SIGKILL);
    EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << modes[i] << (ended ? "" : ": hangs") << ": status " << status << ", "
        << ReadText(dir / (modes[i] + ".log"));
  }
}

}  // namespace
}  // namespace qorvex::testing
