// Times the extraction benchmark's commands side by side:
//   bench_timer ROUNDS WORKDIR D88UNPACK BIG_D88 BIG_TAR MISSING_D88
// or the processor time d88unpack takes on each image, per MiB of image,
// with what it read from the host:
//   bench_timer --cpu ROUNDS WORKDIR D88UNPACK IMAGE...
//
// Each round runs, in turn, "d88unpack BIG_D88", "tar -xf BIG_TAR",
// "d88unpack MISSING_D88" (whose entries all point to missing sectors),
// "d88unpack --list BIG_D88", "d88unpack --map BIG_D88" and
// "d88unpack --to-stdout BIG_D88", each
// in a new empty folder WORKDIR/out. The first round warms the page cache and
// is not counted. The clock covers fork, exec and wait, the same for every
// command; standard output goes to /dev/null. Peak resident memory comes
// from wait4().
//
// Between runs the previous output is only moved aside (into WORKDIR/spent),
// outside the clock, and all of it is deleted after the last round. Deleting
// it at once would make the next run slow for reasons that have nothing to do
// with the command: ext4 without a journal will not hand out an inode freed
// in the last 30 seconds or so, and skipping thousands of them on every
// create made the same run ten times slower.
//
// The last round's output is moved to WORKDIR/d88unpack, WORKDIR/tar,
// WORKDIR/missing, WORKDIR/list, WORKDIR/map and WORKDIR/to-stdout so that
// the caller can
// compare the trees.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Command {
  std::string label;
  fs::path kept;  // where the last round's output ends up
  std::vector<std::string> argv;
  std::vector<double> seconds;
  long peak_rss_kib = 0;
};

struct Sample {
  bool ok;
  double seconds;
  long max_rss_kib;
  double user_seconds;    // processor time of the child, in the program
  double system_seconds;  // and in the kernel on its behalf
  long long read_calls;   // read calls the child made, -1 when unknown
  long long read_bytes;   // and bytes they delivered
};

struct ReadCounts {
  long long calls = -1;
  long long bytes = -1;
};

// The child's read calls and bytes (syscr and rchar in /proc/PID/io),
// taken while it is a zombie: it has made all of them, and the kernel
// still has its entry. They include the loader's reads of the C library,
// a few KiB.
ReadCounts ReadCountsOf(pid_t pid) {
  ReadCounts counts;
  const std::string path = "/proc/" + std::to_string(pid) + "/io";
  std::FILE* io = std::fopen(path.c_str(), "r");
  if (io == nullptr) return counts;
  char name[32];
  long long value = 0;
  while (std::fscanf(io, "%31s %lld", name, &value) == 2) {
    if (std::string(name) == "rchar:") counts.bytes = value;
    if (std::string(name) == "syscr:") counts.calls = value;
  }
  std::fclose(io);
  return counts;
}

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) +
         static_cast<double>(time.tv_usec) / 1e6;
}

// Output of earlier runs, waiting to be deleted once the timing is over.
class SpentFolders {
 public:
  explicit SpentFolders(fs::path root) : root_(std::move(root)) {}

  void MoveAside(const fs::path& folder) {
    if (!fs::exists(folder)) return;
    fs::create_directories(root_);
    fs::rename(folder, root_ / std::to_string(next_++));
  }
  void Delete() { fs::remove_all(root_); }

 private:
  fs::path root_;
  int next_ = 0;
};

// quiet sends standard error to /dev/null as well: crafted images make the
// tool warn about every disk.
[[noreturn]] void RunChild(const Command& command, const fs::path& folder,
                           bool quiet) {
  std::vector<char*> argv;
  for (const std::string& arg : command.argv) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);
  const int null_fd = open("/dev/null", O_WRONLY);
  if (chdir(folder.c_str()) != 0 || null_fd < 0 ||
      dup2(null_fd, STDOUT_FILENO) < 0 ||
      (quiet && dup2(null_fd, STDERR_FILENO) < 0)) {
    _exit(126);
  }
  execvp(argv[0], argv.data());
  _exit(127);
}

// Runs the command in folder, which must exist and be empty.
Sample RunOnce(const Command& command, const fs::path& folder,
               bool quiet = false) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) RunChild(command, folder, quiet);
  int status = 0;
  rusage usage = {};
  // Waits for the end without reaping, so that /proc still has the child.
  siginfo_t info = {};
  const bool ended =
      pid > 0 && waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == 0;
  const auto end = std::chrono::steady_clock::now();
  const ReadCounts reads = ended ? ReadCountsOf(pid) : ReadCounts{};
  const bool waited = ended && wait4(pid, &status, 0, &usage) == pid;
  return {waited && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          std::chrono::duration<double>(end - start).count(),
          usage.ru_maxrss, Seconds(usage.ru_utime), Seconds(usage.ru_stime),
          reads.calls, reads.bytes};
}

// Runs every command once per round, in turn; round 0 is the warm-up.
bool RunRounds(std::vector<Command>& commands, int rounds, const fs::path& out,
               SpentFolders& spent) {
  for (int round = 0; round <= rounds; ++round) {
    for (Command& command : commands) {
      spent.MoveAside(out);
      fs::create_directories(out);
      const Sample sample = RunOnce(command, out);
      if (!sample.ok) {
        std::fprintf(stderr, "bench_timer: \"%s\" failed\n",
                     command.label.c_str());
        return false;
      }
      if (round == rounds) fs::rename(out, command.kept);
      if (round == 0) continue;
      command.seconds.push_back(sample.seconds);
      command.peak_rss_kib = std::max(command.peak_rss_kib, sample.max_rss_kib);
    }
  }
  return true;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 == 1 ? values[mid]
                                : (values[mid - 1] + values[mid]) / 2;
}

void PrintTable(const std::vector<Command>& commands) {
  std::printf("%-34s %9s %9s %9s %10s\n", "", "median", "min", "max",
              "peak RSS");
  for (const Command& command : commands) {
    const auto [min, max] =
        std::minmax_element(command.seconds.begin(), command.seconds.end());
    std::printf("%-34s %7.3f s %7.3f s %7.3f s %6.2f MiB\n",
                command.label.c_str(), Median(command.seconds), *min, *max,
                static_cast<double>(command.peak_rss_kib) / 1024);
  }
}

void PrintVerdict(const char* what, double value, const char* unit,
                  double target) {
  std::printf("%-34s %7.2f%-4s (target <= %.1f%s: %s)\n", what, value, unit,
              target, unit, value <= target ? "met" : "MISSED");
}

void PrintReport(const std::vector<Command>& commands) {
  PrintTable(commands);
  const double unpack = Median(commands[0].seconds);
  PrintVerdict("d88unpack / tar (medians)",
               unpack / Median(commands[1].seconds), "x", 1.0);
  PrintVerdict("d88unpack peak RSS",
               static_cast<double>(commands[0].peak_rss_kib) / 1024, " MiB",
               4.0);
  PrintVerdict("listing missing / extracting",
               Median(commands[2].seconds) / unpack, "x", 1.0);
  PrintVerdict("--list / extracting", Median(commands[3].seconds) / unpack,
               "x", 0.1);
  PrintVerdict("--map / extracting", Median(commands[4].seconds) / unpack,
               "x", 0.2);
  // Reading the same files without making any is never slower than
  // extracting them.
  PrintVerdict("--to-stdout / extracting",
               Median(commands[5].seconds) / unpack, "x", 1.0);
  // Making the image from the extracted files reads what the extraction
  // wrote and writes what it read.
  PrintVerdict("--create / extracting", Median(commands[6].seconds) / unpack,
               "x", 1.5);
}

// Bytes of every file under folder.
long long BytesUnder(const fs::path& folder) {
  long long total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) total += static_cast<long long>(entry.file_size());
  }
  return total;
}

// What reading an image may cost at most: twice the image and the files
// written, and 1 MiB; in read calls, that over 32 KiB and 10,000 more.
bool ReadsWithinBound(const Sample& sample, long long image, long long written) {
  const long long bytes = 2 * (image + written) + (1 << 20);
  return sample.read_bytes >= 0 && sample.read_bytes <= bytes &&
         sample.read_calls <= bytes / (32 * 1024) + 10000;
}

void PrintCpuHeading() {
  std::printf("%-18s %6s %9s %9s %15s %9s %8s %9s %9s %-6s %-6s %s\n", "", "MiB",
              "user", "system", "user+sys / MiB", "peak RSS", "reads",
              "MiB read", "written", "bound", "cpu", "RSS");
}

// What a crafted image may cost in processor time: 0.2 s up to 4 MiB, 0.6 s
// up to 16 MiB; larger ones and the clean images have no such target ("-").
const char* CpuTarget(const fs::path& image, double mib, double cpu) {
  if (image.parent_path().filename() != "crafted" || mib > 16.5) return "-";
  const double limit = mib <= 4.5 ? 0.2 : 0.6;
  return cpu <= limit ? "met" : "MISSED";
}

// Every image up to 64 MiB is read in at most 8 MiB of memory.
const char* RssTarget(double mib, long rss_kib) {
  if (mib > 64.5) return "-";
  return rss_kib <= 8 * 1024 ? "met" : "MISSED";
}

// Runs d88unpack on each image, rounds times after a warm-up run, and
// prints the median processor time, user and system, and their sum per MiB
// of image; then the read calls and MiB the last run read from the host,
// the MiB of files it wrote, whether the reads stayed within the bound of
// ReadsWithinBound, and whether the processor time and memory stayed within
// CpuTarget and RssTarget. System time is mostly the making of host files. An
// image may fill some files and fail others; only a crash or a timeout
// would be wrong, so the exit status is reported, not failed on.
int CpuMode(int argc, char** argv) {
  const int rounds = argc >= 6 ? std::atoi(argv[2]) : 0;
  if (rounds < 1) {
    std::fprintf(stderr, "Usage: %s --cpu ROUNDS WORKDIR D88UNPACK IMAGE...\n",
                 argv[0]);
    return 2;
  }
  const fs::path work = fs::absolute(argv[3]);
  const std::string tool = fs::absolute(argv[4]).string();
  SpentFolders spent(work / "spent");
  PrintCpuHeading();
  for (int i = 5; i < argc; ++i) {
    const fs::path image = fs::absolute(argv[i]);
    const Command command = {image.filename().string(), {}, {tool, image.string()}, {}, 0};
    std::vector<double> user;
    std::vector<double> system;
    long rss = 0;
    Sample last = {};
    for (int round = 0; round <= rounds; ++round) {
      spent.MoveAside(work / "out");
      fs::create_directories(work / "out");
      last = RunOnce(command, work / "out", true);
      if (round > 0) {
        user.push_back(last.user_seconds);
        system.push_back(last.system_seconds);
      }
      rss = std::max(rss, last.max_rss_kib);
    }
    const auto size = static_cast<long long>(fs::file_size(image));
    const long long written = BytesUnder(work / "out");
    const double mib = static_cast<double>(size) / (1 << 20);
    const double cpu = Median(user) + Median(system);
    std::printf("%-18s %6.1f %7.3f s %7.3f s %9.4f s/MiB %5.2f MiB %8lld %9.1f %9.1f %-6s %-6s %s\n",
                command.label.c_str(), mib, Median(user), Median(system),
                cpu / mib, static_cast<double>(rss) / 1024, last.read_calls,
                static_cast<double>(last.read_bytes) / (1 << 20),
                static_cast<double>(written) / (1 << 20),
                ReadsWithinBound(last, size, written) ? "met" : "MISSED",
                CpuTarget(image, mib, cpu), RssTarget(mib, rss));
    std::fflush(stdout);
  }
  spent.Delete();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--cpu") return CpuMode(argc, argv);
  const int rounds = argc == 8 ? std::atoi(argv[1]) : 0;
  if (rounds < 1) {
    std::fprintf(stderr,
                 "Usage: %s ROUNDS WORKDIR D88UNPACK BIG_D88 BIG_TAR "
                 "MISSING_D88 TREE\n(ROUNDS at least 1)\n",
                 argv[0]);
    return 2;
  }
  const fs::path work = fs::absolute(argv[2]);
  const std::string tool = fs::absolute(argv[3]).string();
  const std::string big = fs::absolute(argv[4]).string();
  const std::string tar = fs::absolute(argv[5]).string();
  const std::string missing = fs::absolute(argv[6]).string();
  const std::string tree = fs::absolute(argv[7]).string();
  std::vector<Command> commands = {
      {"d88unpack big.d88", work / "d88unpack", {tool, big}, {}, 0},
      {"tar -xf big.tar", work / "tar", {"tar", "-xf", tar}, {}, 0},
      {"d88unpack missing.d88 (list only)", work / "missing",
       {tool, missing}, {}, 0},
      {"d88unpack --list big.d88", work / "list", {tool, "--list", big}, {},
       0},
      {"d88unpack --map big.d88", work / "map", {tool, "--map", big}, {}, 0},
      {"d88unpack --to-stdout big.d88", work / "to-stdout",
       {tool, "--to-stdout", big}, {}, 0},
      // The extracted tree made into a new image: the road backwards. The
      // benchmark's disks hold data up to track 159.
      {"d88unpack --create from the tree", work / "create",
       {tool, "--create", "new.d88", "--tracks=160", "--output=" + tree}, {},
       0},
  };
  SpentFolders spent(work / "spent");
  for (const Command& command : commands) spent.MoveAside(command.kept);
  std::printf("%d rounds after 1 warm-up round, commands alternating\n",
              rounds);
  std::fflush(stdout);
  const bool ok = RunRounds(commands, rounds, work / "out", spent);
  spent.Delete();
  if (!ok) return 1;
  PrintReport(commands);
  return 0;
}
