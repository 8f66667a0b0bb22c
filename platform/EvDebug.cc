// Logging: formatting of lines, the process-wide sink and level, and the
// sinks that a process can choose.
//
// A log line is cheap when it is dropped and cheap when it is written:
// the sink is asked whether it takes a line (and what goes in front of its
// text) before the line is formatted or even stamped with the time; each
// thread formats its lines into one reused record (no allocation once
// its buffers have grown), keeps its process and thread ids and a copy of
// the installed sink (refreshed when a new sink is installed), and the file
// sink lays out lines with a time stamp that is formatted once per second
// into a buffer that it writes in blocks.
#include "platform/EvDebug.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <new>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct LogConfig {
  std::mutex mutex;
  std::shared_ptr<LogSink> sink = std::make_shared<StderrLogSink>();
  std::atomic<uint64_t> version{1};  // changes with every setSink
};

std::atomic<uint64_t> forkGeneration{0};

LogConfig* configInstance = nullptr;

LogConfig& config() {
  static LogConfig* cfg = [] {
    configInstance = new LogConfig;  // never destroyed: lines may be logged during exit
    // The lock is not held by another thread across fork, and a child
    // process has its own process and thread ids.
    pthread_atfork([] { configInstance->mutex.lock(); }, [] { configInstance->mutex.unlock(); },
                   [] {
                     forkGeneration.fetch_add(1);
                     configInstance->mutex.unlock();
                   });
    return configInstance;
  }();
  return *cfg;
}

int initialLevel() {
  const char* text = std::getenv("APPMGR_LOG_LEVEL");
  if (text == nullptr || *text == '\0') return 1;
  return std::atoi(text);
}

std::atomic<int>& levelSetting() {
  static std::atomic<int> level{initialLevel()};
  return level;
}

std::atomic<uint64_t> nextEventId{1};

// Per-thread state. Each object with a destructor sets a plain flag when a
// thread's objects are destroyed (at thread exit, or at process exit for
// the main thread), so that lines logged later take the slow path instead
// of touching a destroyed object.
thread_local bool threadStateGone = false;

struct ThreadState {
  uint64_t sinkVersion = 0;
  std::shared_ptr<LogSink> sink;
  uint64_t idGeneration = ~uint64_t{0};
  pid_t pid = 0;
  pid_t tid = 0;
  LogRecord record;
  bool recordBusy = false;  // a sink that logs from write() gets a fresh record
  ~ThreadState() { threadStateGone = true; }
};

thread_local ThreadState threadState;

int64_t nowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

pid_t currentTid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// Formats the conversions that the library's own lines use without the
// stdio machinery, which costs far more than the line itself: %s, %d, %i,
// %u, %x, the flag '#' on %x, the length 'l', and %%. Writes into
// [out, limit) and returns the end of the text; returns null for any other
// conversion, flag, width or precision, for a null %s (the caller then
// formats through vsnprintf from the start) and for a text that does not
// fit.
char* formatCommon(char* out, char* const limit, const char* format, va_list args) {
  auto put = [&out, limit](const char* text, size_t n) {
    if (static_cast<size_t>(limit - out) < n) return false;
    std::memcpy(out, text, n);
    out += n;
    return true;
  };
  for (const char* p = format;; ++p) {
    const char* percent = std::strchr(p, '%');
    if (percent == nullptr) return put(p, std::strlen(p)) ? out : nullptr;
    if (!put(p, static_cast<size_t>(percent - p))) return nullptr;
    p = percent + 1;
    const bool alternate = *p == '#';
    if (alternate) ++p;
    const bool isLong = *p == 'l';
    if (isLong) ++p;
    if (alternate && *p != 'x') return nullptr;
    char number[24];  // "0x" and 16 digits, or a sign and 20 digits
    char* end = number;
    switch (*p) {
      case '%':
        if (isLong || !put("%", 1)) return nullptr;
        continue;
      case 's': {
        const char* s = isLong ? nullptr : va_arg(args, const char*);
        if (s == nullptr || !put(s, std::strlen(s))) return nullptr;
        continue;
      }
      case 'd':
      case 'i':
        end = std::to_chars(number, number + sizeof number,
                            isLong ? va_arg(args, long) : static_cast<long>(va_arg(args, int)))
                  .ptr;
        break;
      case 'u':
      case 'x': {
        const unsigned long value =
            isLong ? va_arg(args, unsigned long) : static_cast<unsigned long>(va_arg(args, unsigned int));
        if (alternate && value != 0) {
          *end++ = '0';
          *end++ = 'x';
        }
        end = std::to_chars(end, number + sizeof number, value, *p == 'x' ? 16 : 10).ptr;
        break;
      }
      default:
        return nullptr;
    }
    if (!put(number, static_cast<size_t>(end - number))) return nullptr;
  }
}

// Room for the usual line; a longer one goes through vsnprintf.
constexpr size_t kLineRoom = 1024;

// Formats `prefix` and then the line into text, reusing its buffer.
void formatText(std::string& text, std::string_view prefix, const char* format, va_list args) {
  const size_t head = prefix.size();
  if (head < kLineRoom) {
    char line[kLineRoom];
    std::memcpy(line, prefix.data(), head);
    va_list copy;
    va_copy(copy, args);
    const char* end = formatCommon(line + head, line + kLineRoom, format, copy);
    va_end(copy);
    if (end != nullptr) {
      text.assign(line, static_cast<size_t>(end - line));
      return;
    }
  }
  if (text.capacity() < head + 128) text.reserve(head + 128);
  text.resize(text.capacity());
  std::memcpy(&text[0], prefix.data(), head);
  va_list copy;
  va_copy(copy, args);
  const int needed = vsnprintf(&text[head], text.size() - head + 1, format, copy);
  va_end(copy);
  if (needed <= 0) {
    text.resize(head);
    return;
  }
  if (head + static_cast<size_t>(needed) > text.size()) {
    text.resize(head + static_cast<size_t>(needed));
    vsnprintf(&text[head], static_cast<size_t>(needed) + 1, format, args);
  }
  text.resize(head + static_cast<size_t>(needed));
}

// "YYYY-MM-DD HH:MM:SS" of a second in local time, formatted once per
// second (and again when the time zone changes), and " <pid> <tid> " of
// the last ids seen.
struct StampCache {
  int64_t second = INT64_MIN;
  long zone = 0;
  const char* zoneName = nullptr;
  char text[32] = {};
  size_t length = 0;
  pid_t pid = -1;
  pid_t tid = -1;
  char ids[24] = {};
  size_t idsLength = 0;
};

thread_local StampCache stampCache;

// The most a line takes before its tag: stamp (at most 31), ".uuuuuu",
// " <pid> <tid> " (at most 24) and "ERROR [".
constexpr size_t kMaxHeadBytes = 31 + 7 + 24 + 7;

size_t logLineBytes(const LogRecord& record) {
  return kMaxHeadBytes + record.tag.size() + 2 + record.text.size();
}

// Lays out what comes before the text in the line of a record with a time
// at or after the epoch (the layout of formatLogLine) at `out`, which has
// room for kMaxHeadBytes and the tag and two bytes more; returns the end.
// `cache` is the calling thread's, or one a lock guards.
char* putLogHead(const LogLineStart& record, char* out, StampCache& cache) {
  const int64_t second = record.timeMicros / 1000000;
  if (cache.second != second || cache.zone != timezone || cache.zoneName != tzname[0]) {
    const time_t seconds = static_cast<time_t>(second);
    struct tm parts;
    localtime_r(&seconds, &parts);
    cache.length = strftime(cache.text, sizeof cache.text, "%Y-%m-%d %H:%M:%S", &parts);
    cache.second = second;
    cache.zone = timezone;
    cache.zoneName = tzname[0];
  }
  if (cache.pid != record.pid || cache.tid != record.tid) {
    char* p = cache.ids;
    *p++ = ' ';
    p = std::to_chars(p, p + 11, static_cast<int>(record.pid)).ptr;
    *p++ = ' ';
    p = std::to_chars(p, p + 11, static_cast<int>(record.tid)).ptr;
    *p++ = ' ';
    cache.idsLength = static_cast<size_t>(p - cache.ids);
    cache.pid = record.pid;
    cache.tid = record.tid;
  }
  // The stamp and the ids are copied whole (fixed sizes, no call) and the
  // output advanced by their lengths: kMaxHeadBytes has room for both.
  char* p = out;
  std::memcpy(p, cache.text, sizeof cache.text);
  p += cache.length;
  *p++ = '.';
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  uint32_t micros = static_cast<uint32_t>(record.timeMicros % 1000000);
  for (int i = 4; i >= 0; i -= 2, micros /= 100) std::memcpy(p + i, kPairs + 2 * (micros % 100), 2);
  p += 6;
  std::memcpy(p, cache.ids, sizeof cache.ids);
  p += cache.idsLength;
  if (record.severity == LogSeverity::kError) {
    std::memcpy(p, "ERROR ", 6);
    p += 6;
  }
  *p++ = '[';
  std::memcpy(p, record.tag.data(), record.tag.size());
  p += record.tag.size();
  *p++ = ']';
  *p++ = ' ';
  return p;
}

// The whole line, at `out`, which has room for logLineBytes(); returns the
// end.
char* putLogLine(const LogRecord& record, char* out, StampCache& cache) {
  LogLineStart head;
  head.timeMicros = record.timeMicros;
  head.pid = record.pid;
  head.tid = record.tid;
  head.severity = record.severity;
  head.tag = record.tag;
  char* p = putLogHead(head, out, cache);
  std::memcpy(p, record.text.data(), record.text.size());
  return p + record.text.size();
}

// Appends the line of the record (the layout of formatLogLine).
void appendLogLine(const LogRecord& record, std::string& out) {
  if (record.timeMicros < 0) {  // before the epoch: the rare path, through snprintf
    out += formatLogLine(record);
    return;
  }
  const size_t start = out.size();
  out.resize(start + logLineBytes(record));
  out.resize(static_cast<size_t>(putLogLine(record, &out[start], stampCache) - out.data()));
}

// A block of lines for the file: raw memory, so a line is laid out in
// place with one check of the room left.
struct LogBlock {
  std::unique_ptr<char[]> data;
  size_t size = 0;
  size_t capacity = 0;

  bool empty() const { return size == 0; }
  // Room for `bytes` more, keeping what is there.
  void reserve(size_t bytes) {
    if (capacity - size >= bytes) return;
    const size_t grown = std::max(size + bytes, FileLogSink::kBlockBytes + 4096);
    std::unique_ptr<char[]> bigger(new char[grown]);
    if (size > 0) std::memcpy(bigger.get(), data.get(), size);
    data = std::move(bigger);
    capacity = grown;
  }
};

int openLogFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

void writeAll(int fd, const LogBlock& block) {
  size_t done = 0;
  while (fd >= 0 && done < block.size) {
    const ssize_t n = ::write(fd, block.data.get() + done, block.size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the disk refuses: the lines are dropped, as a failed write would
    done += static_cast<size_t>(n);
  }
}

// A partly filled block waits at most this long for the writer.
constexpr std::chrono::seconds kIdleHandOff{1};
// Blocks queued for the writer or being written; one more is being filled.
constexpr size_t kMaxBlocksInFlight = FileLogSink::kMaxBufferedBytes / FileLogSink::kBlockBytes - 1;

}  // namespace

// The lines of one file sink and its writer thread. Callers append to
// `current` under the lock and move it to `queue` when it fills; the writer
// takes blocks from the front of the queue and writes them without the
// lock. Blocks are numbered in the order handed (`handed`) and written
// (`written`), which is what flush waits on.
struct FileLogSink::State {
  explicit State(const std::string& p) : path(p), fd(openLogFile(p)) {}

  size_t blocksInFlight() const { return queue.size() + (writing ? 1 : 0); }

  // Waits while the writer has its fill of blocks.
  void waitForRoom(std::unique_lock<std::mutex>& lock) {
    while (writerRunning && blocksInFlight() >= kMaxBlocksInFlight) done.wait(lock);
  }

  // Queues the current block for the writer (starting it if needed) and
  // takes an empty one. Returns whether the writer is to be woken, which
  // is done here when `wake` is set.
  bool handOff(bool wake = true) {
    queue.push_back(std::move(current));
    current = LogBlock();
    if (!spare.empty()) {
      current = std::move(spare.back());
      spare.pop_back();
    }
    ++handed;
    if (!startWriter()) {
      writeQueuedHere();
      return false;
    }
    if (wake) work.notify_one();
    return true;
  }

  // Returns once every line appended so far is written.
  void flush(std::unique_lock<std::mutex>& lock) {
    waitForRoom(lock);
    if (!current.empty()) handOff();
    const uint64_t target = handed;
    while (written < target) done.wait(lock);
  }

  // Returns whether the writer is to be woken; the caller does that after
  // releasing the lock, so that the writer does not wake into a held lock.
  bool append(const LogRecord& record, std::unique_lock<std::mutex>& lock) {
    waitForBlock(lock);
    const bool first = current.empty();
    if (record.timeMicros >= 0) {
      current.reserve(logLineBytes(record) + 1);
      char* end = putLogLine(record, current.data.get() + current.size, stamps);
      *end++ = '\n';
      current.size = static_cast<size_t>(end - current.data.get());
    } else {  // before the epoch: the rare path
      const std::string line = formatLogLine(record) + '\n';
      current.reserve(line.size());
      std::memcpy(current.data.get() + current.size, line.data(), line.size());
      current.size += line.size();
    }
    return lineAppended(record.severity, first, lock);
  }

  // Appends a line whose text is still to be formatted, formatting it in
  // place. Returns false, having appended nothing, when
  // the text needs vsnprintf or is longer than kLineRoom; otherwise sets
  // `wake` as append's result.
  bool appendFormatted(const LogLineStart& line, const char* format, va_list args,
                       std::unique_lock<std::mutex>& lock, bool& wake) {
    if (line.timeMicros < 0) return false;
    waitForBlock(lock);
    const bool first = current.empty();
    current.reserve(kMaxHeadBytes + line.tag.size() + 2 + line.prefix.size() + kLineRoom + 1);
    char* p = putLogHead(line, current.data.get() + current.size, stamps);
    std::memcpy(p, line.prefix.data(), line.prefix.size());
    p += line.prefix.size();
    va_list copy;
    va_copy(copy, args);
    char* end = formatCommon(p, p + kLineRoom, format, copy);
    va_end(copy);
    if (end == nullptr) return false;
    *end++ = '\n';
    current.size = static_cast<size_t>(end - current.data.get());
    wake = lineAppended(line.severity, first, lock);
    return true;
  }

  // Never append to a full block: memory stays bounded while the writer is
  // behind.
  void waitForBlock(std::unique_lock<std::mutex>& lock) {
    while (current.size >= kBlockBytes) {
      waitForRoom(lock);
      if (current.size >= kBlockBytes) handOff();
    }
  }

  // After a line went into the current block (which was empty when `first`
  // is set): an error line is flushed, a full block handed to the writer.
  // Returns whether the writer is to be woken, as append does.
  bool lineAppended(LogSeverity severity, bool first, std::unique_lock<std::mutex>& lock) {
    if (severity == LogSeverity::kError) {
      flush(lock);
      return false;
    }
    if (current.size >= kBlockBytes) {
      // With the writer's queue full, the next caller or the writer hands it.
      return blocksInFlight() < kMaxBlocksInFlight && handOff(false);
    }
    // The writer (started with a process's first line) starts the clock of
    // a partly filled block.
    return first && startWriter();
  }

  bool reopen(std::unique_lock<std::mutex>& lock) {
    flush(lock);
    // The writer takes no new block until the file is swapped.
    ++holds;
    while (writing) done.wait(lock);
    if (fd >= 0) ::close(fd);
    fd = openLogFile(path);
    --holds;
    work.notify_one();
    return fd >= 0;
  }

  bool startWriter() {
    if (writerRunning) return true;
    // The writer takes no signals: they belong to the process's own threads.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    writerRunning = pthread_create(&writer, nullptr, &State::writerMain, this) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return writerRunning;
  }

  // Without a writer thread (it could not be started) the caller writes.
  void writeQueuedHere() {
    while (!queue.empty()) {
      writeAll(fd, queue.front());
      queue.pop_front();
      ++written;
    }
  }

  static void* writerMain(void* self) {
    pthread_setname_np(pthread_self(), "appmgr-log");
    static_cast<State*>(self)->runWriter();
    return nullptr;
  }

  void runWriter() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (!queue.empty() && holds == 0) {
        LogBlock block = std::move(queue.front());
        queue.pop_front();
        writing = true;
        writingBytes = block.size;
        const int out = fd;
        lock.unlock();
        writeAll(out, block);
        block.size = 0;
        // Callers hold the lock only to append a line: spinning briefly
        // spares them waking the writer when they release it.
        for (int spin = 0; spin < 20 && !lock.try_lock(); ++spin) std::this_thread::yield();
        if (!lock.owns_lock()) lock.lock();
        writing = false;
        writingBytes = 0;
        ++written;
        if (spare.size() < kMaxBlocksInFlight) spare.push_back(std::move(block));
        done.notify_all();
        continue;
      }
      if (stopping) return;
      if (holds > 0 || current.empty()) {
        work.wait(lock);
      } else if (current.size >= kBlockBytes) {
        handOff();  // filled while the queue was full
      } else if (!work.wait_until(lock, std::chrono::steady_clock::now() + kIdleHandOff, [this] {
                   return !queue.empty() || stopping || holds > 0 || current.empty();
                 })) {
        handOff();
      }
    }
  }

  void stop(std::unique_lock<std::mutex>& lock) {
    flush(lock);
    if (!writerRunning) return;
    stopping = true;
    work.notify_one();
    lock.unlock();
    pthread_join(writer, nullptr);
    lock.lock();
    writerRunning = false;
  }

  // Fork: the parent's lines are written and the lock is held across the
  // fork, so the child gets a consistent copy.
  void prepareFork() {
    std::unique_lock<std::mutex> lock(mutex);
    flush(lock);
    lock.release();
  }

  void afterForkInParent() { mutex.unlock(); }

  // The writer thread does not exist in the child: the child starts its own
  // when it hands its first block. Lines still in memory were logged by the
  // parent's threads after the flush; the parent writes them. A condition
  // variable that the parent's writer was waiting on is fresh here, as no
  // thread of the child waits on it.
  void afterForkInChild() {
    new (&work) std::condition_variable;
    new (&done) std::condition_variable;
    current.size = 0;
    queue.clear();
    writing = false;
    writingBytes = 0;
    handed = 0;
    written = 0;
    holds = 0;  // a reopen in progress belongs to a parent's thread
    writerRunning = false;
    stopping = false;
    mutex.unlock();
  }

  const std::string path;
  std::mutex mutex;
  std::condition_variable work;  // the writer waits: a block was handed, a first line, stop
  std::condition_variable done;  // callers wait: a block was written
  int fd;
  LogBlock current;
  StampCache stamps;  // guarded by the lock, so no thread-local look-up per line
  std::deque<LogBlock> queue;
  std::vector<LogBlock> spare;  // written blocks, reused
  bool writing = false;
  size_t writingBytes = 0;
  uint64_t handed = 0;
  uint64_t written = 0;
  int holds = 0;  // reopen in progress
  bool writerRunning = false;
  bool stopping = false;
  pthread_t writer{};
};

namespace {

// Live file sinks, flushed at process exit and before fork.
struct FileSinkRegistry {
  std::mutex mutex;
  std::vector<FileLogSink::State*> sinks;
};

FileSinkRegistry* registryInstance = nullptr;

FileSinkRegistry& fileSinks() {
  static FileSinkRegistry* registry = [] {
    registryInstance = new FileSinkRegistry;  // never destroyed: used by the exit handler
    std::atexit([] {
      std::lock_guard<std::mutex> lock(registryInstance->mutex);
      for (FileLogSink::State* state : registryInstance->sinks) {
        std::unique_lock<std::mutex> sinkLock(state->mutex);
        state->flush(sinkLock);
      }
    });
    // Both locks are taken before fork and released after it in both
    // processes, so no lock is left held by a thread the child lacks.
    pthread_atfork(
        [] {
          registryInstance->mutex.lock();
          for (FileLogSink::State* state : registryInstance->sinks) state->prepareFork();
        },
        [] {
          for (FileLogSink::State* state : registryInstance->sinks) state->afterForkInParent();
          registryInstance->mutex.unlock();
        },
        [] {
          for (FileLogSink::State* state : registryInstance->sinks) state->afterForkInChild();
          registryInstance->mutex.unlock();
        });
    return registryInstance;
  }();
  return *registry;
}

}  // namespace

std::string formatLogLine(const LogRecord& record) {
  if (record.timeMicros >= 0) {
    std::string line;
    line.reserve(64 + record.tag.size() + record.text.size());
    appendLogLine(record, line);
    return line;
  }
  const time_t seconds = static_cast<time_t>(record.timeMicros / 1000000);
  const long micros = static_cast<long>(record.timeMicros % 1000000);
  struct tm parts;
  localtime_r(&seconds, &parts);
  char stamp[32];
  strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
  char head[96];
  snprintf(head, sizeof head, "%s.%06ld %d %d ", stamp, micros, static_cast<int>(record.pid),
           static_cast<int>(record.tid));
  std::string line(head);
  line += record.severity == LogSeverity::kError ? "ERROR " : "";
  line += '[';
  line += record.tag;
  line += "] ";
  line += record.text;
  return line;
}

LogSink::~LogSink() = default;

const char* LogSink::admit(const char*, LogSeverity, int) { return ""; }

bool LogSink::writeFormatted(const LogLineStart&, const char*, va_list) { return false; }

void LogSink::flush() {}

void StderrLogSink::write(const LogRecord& record) {
  std::string line;
  line.reserve(64 + record.tag.size() + record.text.size());
  appendLogLine(record, line);
  line += '\n';
  // One write call per line keeps lines of concurrent threads whole.
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

FileLogSink::FileLogSink(const std::string& path) : state_(std::make_unique<State>(path)) {
  FileSinkRegistry& registry = fileSinks();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.sinks.push_back(state_.get());
}

FileLogSink::~FileLogSink() {
  {
    FileSinkRegistry& registry = fileSinks();
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (auto it = registry.sinks.begin(); it != registry.sinks.end(); ++it) {
      if (*it == state_.get()) {
        registry.sinks.erase(it);
        break;
      }
    }
  }
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->stop(lock);
  if (state_->fd >= 0) ::close(state_->fd);
}

bool FileLogSink::isOpen() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->fd >= 0;
}

void FileLogSink::write(const LogRecord& record) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (state_->fd < 0) return;
  if (state_->append(record, lock)) {
    lock.unlock();
    state_->work.notify_one();
  }
}

bool FileLogSink::writeFormatted(const LogLineStart& line, const char* format, va_list args) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (state_->fd < 0) return true;  // the line is dropped, as write() drops it
  bool wake = false;
  if (!state_->appendFormatted(line, format, args, lock, wake)) return false;
  if (wake) {
    lock.unlock();
    state_->work.notify_one();
  }
  return true;
}

void FileLogSink::flush() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->flush(lock);
}

bool FileLogSink::reopen() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->reopen(lock);
}

size_t FileLogSink::bufferedBytes() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  size_t bytes = state_->current.size + state_->writingBytes;
  for (const LogBlock& block : state_->queue) bytes += block.size;
  return bytes;
}

void MemoryLogSink::write(const LogRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.push_back(record);
}

std::vector<LogRecord> MemoryLogSink::records() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return records_;
}

std::vector<std::string> MemoryLogSink::textsFor(const std::string& tag) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> texts;
  for (const LogRecord& record : records_) {
    if (record.tag == tag) texts.push_back(record.text);
  }
  return texts;
}

size_t MemoryLogSink::count(const std::string& text) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const LogRecord& record : records_) n += record.text == text ? 1 : 0;
  return n;
}

void MemoryLogSink::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  records_.clear();
}

namespace EvLog {

void setSink(std::shared_ptr<LogSink> sink) {
  std::shared_ptr<LogSink> old;
  {
    std::lock_guard<std::mutex> lock(config().mutex);
    old = std::move(config().sink);
    config().sink = sink ? std::move(sink) : std::make_shared<StderrLogSink>();
    config().version.fetch_add(1, std::memory_order_release);
  }
  // Threads drop their copy of the old sink at their next line; its lines
  // so far go out now.
  old->flush();
}

std::shared_ptr<LogSink> sink() {
  std::lock_guard<std::mutex> lock(config().mutex);
  return config().sink;
}

void setLevel(int level) { levelSetting().store(level); }

int level() { return levelSetting().load(); }

void flush() { sink()->flush(); }

}  // namespace EvLog

void EvDebug::Debug(const char* tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(LogSeverity::kDebug, 0, tag, format, args);
  va_end(args);
}

void EvDebug::DebugLvl(int level, const char* tag, const char* format, ...) {
  if (level > EvLog::level()) return;
  va_list args;
  va_start(args, format);
  emit(LogSeverity::kDebug, level, tag, format, args);
  va_end(args);
}

void EvDebug::Error(const char* tag, const char* format, ...) {
  va_list args;
  va_start(args, format);
  emit(LogSeverity::kError, 0, tag, format, args);
  va_end(args);
}

void EvDebug::emit(LogSeverity severity, int level, const char* tag, const char* format, va_list args) {
  LogConfig& cfg = config();
  if (tag == nullptr) tag = "";
  if (threadStateGone || threadState.recordBusy) {
    // During thread or process exit, or from inside a sink: no cached state.
    const std::shared_ptr<LogSink> sink = EvLog::sink();
    const char* prefix = sink->admit(tag, severity, level);
    if (prefix == nullptr) return;
    LogRecord record;
    record.timeMicros = nowMicros();
    record.pid = getpid();
    record.tid = currentTid();
    record.eventId = eventId_;
    record.severity = severity;
    record.level = level;
    record.tag = tag;
    formatText(record.text, prefix, format, args);
    sink->write(record);
    return;
  }

  ThreadState& state = threadState;
  const uint64_t generation = forkGeneration.load(std::memory_order_relaxed);
  if (state.idGeneration != generation) {
    state.pid = getpid();
    state.tid = currentTid();
    state.idGeneration = generation;
  }
  const uint64_t version = cfg.version.load(std::memory_order_acquire);
  if (state.sinkVersion != version || !state.sink) {
    std::shared_ptr<LogSink> fresh;
    {
      std::lock_guard<std::mutex> lock(cfg.mutex);
      fresh = cfg.sink;
      state.sinkVersion = cfg.version.load(std::memory_order_relaxed);
    }
    // The previous sink may be destroyed here, which writes its lines: not
    // under the lock.
    state.sink.swap(fresh);
  }

  const char* prefix = state.sink->admit(tag, severity, level);
  if (prefix == nullptr) return;
  LogLineStart line;
  line.timeMicros = nowMicros();
  line.pid = state.pid;
  line.tid = state.tid;
  line.eventId = eventId_;
  line.severity = severity;
  line.level = level;
  line.tag = tag;
  line.prefix = prefix;
  // Only this thread changes its copy of the sink, and not while the record
  // is busy (lines logged from inside the sink take the path above).
  state.recordBusy = true;
  if (!state.sink->writeFormatted(line, format, args)) {
    LogRecord& record = state.record;
    record.timeMicros = line.timeMicros;
    record.pid = line.pid;
    record.tid = line.tid;
    record.eventId = line.eventId;
    record.severity = severity;
    record.level = level;
    record.tag.assign(line.tag.data(), line.tag.size());
    formatText(record.text, line.prefix, format, args);
    state.sink->write(record);
  }
  state.recordBusy = false;
}

EvEvent::EvEvent() : EvDebug(nextEventId.fetch_add(1)) {}
