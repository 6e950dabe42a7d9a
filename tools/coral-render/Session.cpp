#include "tools/coral-render/Session.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/CoralSieve.h"
#include "core/StateChunk.h"
#include "tools/coral-render/AtomicFile.h"
#include "tools/coral-render/AudioFile.h"
#include "tools/coral-render/Plot.h"
#include "tools/coral-render/RenderLoop.h"
#include "tools/coral-render/Report.h"

namespace coral::render {
namespace {

constexpr int kMaxChannels = 2;
constexpr double kProgressMinSeconds = 10.0;
constexpr double kEngineMinRate = 22050.0, kEngineMaxRate = 192000.0;
// Larger files cannot be a state; they are not read whole.
constexpr std::streamsize kMaxStateFileBytes = 1 << 20;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file named on the command line: its role ("INPUT", "--report", ...), its name, and
// whether the run writes it (then "-" is standard output) or reads it (standard input).
struct NamedFile {
  const char* role;
  const std::string& path;
  bool written;

  bool IsStandardStream() const { return path == kStandardStream; }
  int StandardStream() const { return written ? STDOUT_FILENO : STDIN_FILENO; }
  // "INPUT 'a.wav'", or "standard input" / "standard output" for "-".
  std::string Describe() const {
    if (IsStandardStream()) return written ? "standard output" : "standard input";
    return std::string(role) + " '" + path + "'";
  }
};

struct FileIdentity {
  dev_t device;
  ino_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// Device and inode of the regular file that `file` names (for "-", the one its standard
// stream is), nothing when it names no regular file. Every name of one file, through links or
// not, has the same identity.
std::optional<FileIdentity> IdentityOf(const NamedFile& file) {
  struct stat info {};
  const int result = file.IsStandardStream() ? ::fstat(file.StandardStream(), &info)
                                             : ::stat(file.path.c_str(), &info);
  if (result != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}

// A one-line bar redrawn in place while the percentage changes.
class ProgressBar {
public:
  ProgressBar(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}

  void Update(std::int64_t done, std::int64_t total) {
    if (!enabled_ || total <= 0) return;
    const int percent = static_cast<int>(100 * std::min(done, total) / total);
    if (percent == percent_) return;
    percent_ = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stream_, "\rrendering [%.*s%*s] %3d%%", filled,
                 "########################################", kWidth - filled, "", percent);
    std::fflush(stream_);
  }

  void Finish() {
    if (enabled_ && percent_ >= 0) std::fputc('\n', stream_);
    percent_ = -1;
  }

private:
  std::FILE* stream_;
  bool enabled_;
  int percent_ = -1;
};

class Session {
public:
  Session(const Options& options, const Console& console) : options_(options), console_(console) {}

  int Run() {
    if (!CheckNoInputIsWritten()) return kExitBadInput;
    plug_ = MakePlugin(reef::InstanceInfo{});
    if (!ApplySettings()) return kExitBadInput;
    if (!options_.saveState.empty() && !PrepareState()) return kExitBadInput;
    if (!options_.input.empty()) {
      WarnExternalWithoutSidechain();
      const int status = RenderFiles();
      if (status != kExitSuccess) return status;
    }
    return CommitAll() ? kExitSuccess : kExitBadInput;
  }

private:
  bool Fail(const std::string& message) {
    std::fprintf(console_.err, "coral-render: %s\n", message.c_str());
    return false;
  }

  void Warn(const std::string& message) {
    if (!options_.quiet) std::fprintf(console_.err, "coral-render: warning: %s\n", message.c_str());
  }

  bool Interrupted() const { return console_.interrupted && *console_.interrupted != 0; }

  // No file the run writes may be one it reads: the render would replace its own source.
  bool CheckNoInputIsWritten() {
    const NamedFile inputs[] = {{"INPUT", options_.input, false},
                                {"--sidechain", options_.sidechain, false}};
    const NamedFile outputs[] = {{"OUTPUT", options_.output, true},
                                 {"--report", options_.report, true},
                                 {"--plot", options_.plot, true},
                                 {"--save-state", options_.saveState, true}};
    for (const NamedFile& output : outputs) {
      const std::optional<FileIdentity> written =
          output.path.empty() ? std::nullopt : IdentityOf(output);
      if (!written) continue;
      for (const NamedFile& input : inputs) {
        if (!input.path.empty() && IdentityOf(input) == written) {
          return Fail(output.Describe() + " is the same file as " + input.Describe() +
                      "; choose another " + (output.IsStandardStream() ? "output" : "name"));
        }
      }
    }
    return true;
  }

  // Bands whose dynamics listen to the External detector hear INPUT when no sidechain is
  // connected; say so once.
  void WarnExternalWithoutSidechain() {
    if (!options_.sidechain.empty()) return;
    const ParamSnapshot values = plug_->CurrentValues();
    std::vector<int> bands;
    for (int band = 0; band < kNumBands; ++band) {
      const auto on = [&](BandField field) { return values[BandParamIndex(band, field)] > 0.5f; };
      if (on(kEnabled) && on(kDynamic) && on(kDetector)) bands.push_back(band + 1);
    }
    if (bands.empty()) return;
    std::string list;
    for (std::size_t i = 0; i < bands.size(); ++i) {
      if (i > 0) list += i + 1 == bands.size() ? " and " : ", ";
      list += std::to_string(bands[i]);
    }
    const bool one = bands.size() == 1;
    Warn(std::string(one ? "band " : "bands ") + list + (one ? " uses" : " use") +
         " the External detector but no --sidechain was given; " +
         (one ? "it listens" : "they listen") + " to the input");
  }

  // Recipes and states in command-line order, then every --set in order.
  bool ApplySettings() {
    for (const SettingsSource& source : options_.sources) {
      if (source.kind == SettingsSource::Kind::Recipe) {
        plug_->ApplyRecipe(source.recipeIndex);
      } else if (!LoadState(source.path)) {
        return false;
      }
    }
    for (const SetAssignment& assignment : options_.assignments) {
      plug_->GetParam(assignment.paramIndex)->SetValue(assignment.value);
      plug_->OnParamChange(assignment.paramIndex, reef::kHost);
    }
    return true;
  }

  bool LoadState(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fail("cannot read state '" + path + "': " + std::strerror(errno));
    std::vector<char> bytes(static_cast<std::size_t>(kMaxStateFileBytes) + 1);
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) return Fail("cannot read state '" + path + "'");
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    if (bytes.size() > static_cast<std::size_t>(kMaxStateFileBytes)) {
      return Fail("state '" + path + "' rejected: size: the file is over " +
                  std::to_string(kMaxStateFileBytes) + " bytes, a state is exactly " +
                  std::to_string(kStateChunkSize));
    }
    reef::IByteChunk chunk;
    chunk.PutBytes(bytes.data(), static_cast<int>(bytes.size()));
    StateContent content;
    const StateVerdict verdict = CheckStateChunk(chunk, 0, content);
    if (!verdict.accepted) return Fail("state '" + path + "' rejected: " + verdict.reason);
    if (plug_->UnserializeState(chunk, 0) < 0) return Fail("state '" + path + "' rejected");
    return true;
  }

  bool PrepareState() {
    reef::IByteChunk chunk;
    plug_->SerializeState(chunk);
    std::string error;
    stateFile_ = std::make_unique<AtomicFile>();
    if (!stateFile_->Create(options_.saveState, error) ||
        !stateFile_->WriteAll(chunk.GetData(), static_cast<std::size_t>(chunk.Size()), error)) {
      return Fail(error);
    }
    return true;
  }

  bool OpenInputs() {
    std::string error;
    const bool opened = options_.input == kStandardStream ? input_.OpenStandardInput(error)
                                                          : input_.Open(options_.input, error);
    if (!opened) return Fail(error);
    const AudioInfo& info = input_.Info();
    if (info.channels < 1 || info.channels > kMaxChannels) {
      return Fail(input_.Name() + " has " + std::to_string(info.channels) +
                  " channels; 1 or 2 are supported");
    }
    if (info.sampleRate < kEngineMinRate || info.sampleRate > kEngineMaxRate) {
      return Fail(input_.Name() + " runs at " + std::to_string(info.sampleRate) +
                  " Hz; the equaliser supports 22050 to 192000 Hz: resample it first");
    }
    if (options_.sidechain.empty()) return true;

    sidechain_ = std::make_unique<SoundFileReader>();
    if (!sidechain_->Open(options_.sidechain, error)) return Fail("sidechain: " + error);
    const AudioInfo& aux = sidechain_->Info();
    if (aux.channels < 1 || aux.channels > kMaxChannels) {
      return Fail("sidechain '" + options_.sidechain + "' has " + std::to_string(aux.channels) +
                  " channels; 1 or 2 are supported");
    }
    if (aux.sampleRate != info.sampleRate) {
      return Fail("sidechain '" + options_.sidechain + "' runs at " +
                  std::to_string(aux.sampleRate) + " Hz, " + input_.Name() + " at " +
                  std::to_string(info.sampleRate) + " Hz; they must match");
    }
    return true;
  }

  // Creates every destination's temporary file before the render, so that an unwritable
  // destination is found before any work is done.
  bool CreateOutputs() {
    std::string error;
    const bool toStandardOutput = options_.output == kStandardStream;
    const bool created = toStandardOutput ? outputFile_.CreateForStandardOutput(error)
                                          : outputFile_.Create(options_.output, error);
    if (!created) return Fail(error);
    if (!writer_.Open(outputFile_.Descriptor(), OutputName(), input_.Info(), error)) {
      return Fail(error);
    }
    if (!options_.report.empty()) {
      reportFile_ = std::make_unique<AtomicFile>();
      if (!reportFile_->Create(options_.report, error)) return Fail(error);
    }
    if (!options_.plot.empty()) {
      plotFile_ = std::make_unique<AtomicFile>();
      if (!plotFile_->Create(options_.plot, error)) return Fail(error);
    }
    return true;
  }

  int RenderFiles() {
    if (!OpenInputs() || !CreateOutputs()) return kExitBadInput;

    const AudioInfo& info = input_.Info();
    ProgressBar bar(console_.err, console_.errIsTerminal && !options_.quiet &&
                                      double(info.frames) > kProgressMinSeconds * info.sampleRate);
    const ProgressFn progress = [&](std::int64_t done, std::int64_t total) {
      bar.Update(done, total);
      return !Interrupted();
    };
    std::string error;
    const RenderSettings settings{options_.blockSize, options_.compensate};
    const RenderOutcome outcome =
        Render(*plug_, input_, sidechain_.get(), writer_, settings, progress, error);
    bar.Finish();
    if (outcome == RenderOutcome::Stopped) {
      Fail("interrupted; nothing written");
      return kExitInterrupted;
    }
    if (outcome == RenderOutcome::Failed || !writer_.Close(error)) {
      Fail(error);
      return kExitBadInput;
    }
    if (writer_.ClippedSamples() > 0) {
      Warn(std::to_string(writer_.ClippedSamples()) + " samples clipped in " + OutputName());
    }
    for (const SoundFileReader* reader : {&input_, sidechain_.get()}) {
      if (reader && reader->EndedEarly()) {
        Warn(reader->Name() + " is cut short: its header declares " +
             std::to_string(reader->DeclaredFrames()) + " frames, " +
             std::to_string(reader->FramesRead()) + " were read and rendered");
      }
    }
    return WriteAnalysis() ? kExitSuccess : kExitBadInput;
  }

  // OUTPUT for messages and titles.
  std::string OutputName() const {
    return options_.output == kStandardStream ? "standard output" : "'" + options_.output + "'";
  }

  bool WriteAnalysis() {
    if (!reportFile_ && !plotFile_) return true;
    const PublishedData data = CollectPublishedData(*plug_);
    std::string error;
    if (reportFile_) {
      const std::string json = ReportJson(data);
      if (!reportFile_->WriteAll(json.data(), json.size(), error)) return Fail(error);
    }
    if (plotFile_) {
      const std::string& named =
          options_.output == kStandardStream ? options_.input : options_.output;
      const std::string title =
          named == kStandardStream ? "CORAL SIEVE" : "CORAL SIEVE - " + BaseName(named);
      const std::vector<unsigned char> png = PlotPng(data, title, error);
      if (png.empty() || !plotFile_->WriteAll(png.data(), png.size(), error)) return Fail(error);
    }
    return true;
  }

  bool CommitAll() {
    std::string error;
    if (!options_.input.empty() && !outputFile_.Commit(error)) return Fail(error);
    for (AtomicFile* file : {reportFile_.get(), plotFile_.get(), stateFile_.get()}) {
      if (file && !file->Commit(error)) return Fail(error);
    }
    return true;
  }

  const Options& options_;
  const Console& console_;
  std::unique_ptr<CoralSieve> plug_;
  SoundFileReader input_;
  std::unique_ptr<SoundFileReader> sidechain_;
  AtomicFile outputFile_;
  SoundFileWriter writer_; // declared after its file, so it is closed before the file goes
  std::unique_ptr<AtomicFile> reportFile_, plotFile_, stateFile_;
};

} // namespace

int RunRenderer(const Options& options, const Console& console) {
  switch (options.action) {
  case Options::Action::Help:
    std::fputs(UsageText().c_str(), console.out);
    return kExitSuccess;
  case Options::Action::Version:
    std::fputs(VersionText(MakePlugin(reef::InstanceInfo{})->GetPluginVersion(false)).c_str(),
               console.out);
    return kExitSuccess;
  case Options::Action::ListParams:
    std::fputs(ParamListText().c_str(), console.out);
    return kExitSuccess;
  case Options::Action::ListRecipes:
    std::fputs(RecipeListText().c_str(), console.out);
    return kExitSuccess;
  case Options::Action::Render:
    break;
  }
  Session session(options, console);
  return session.Run();
}

} // namespace coral::render
