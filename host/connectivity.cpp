#include "host/connectivity.h"

#include <fstream>
#include <memory>

#include "host/names.h"
#include "interop/npy.h"
#include "platform/refused.h"

namespace megcxc::host {

namespace {

std::string shapeText(const std::vector<int64_t>& shape) {
  std::string s = "(";
  for (std::size_t i = 0; i < shape.size(); ++i) s += (i ? ", " : "") + std::to_string(shape[i]);
  return s + (shape.size() == 1 ? ",)" : ")");
}

std::string trimmed(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

}  // namespace

compute::EpochsView EpochsFile::view() const {
  compute::EpochsView v;
  v.float64 = float64.empty() ? nullptr : float64.data();
  v.float32 = float32.empty() ? nullptr : float32.data();
  if (shape.size() == 3) {
    v.epochs = shape[0];
    v.channels = shape[1];
    v.samples = shape[2];
  }
  return v;
}

EpochsFile loadEpochsFile(const std::string& path) {
  interop::NpyReader reader(path);
  EpochsFile f;
  f.path = path;
  f.shape = reader.shape();
  if (reader.type() == interop::NpyType::complex128) {
    refuse(path + ": epochs must be float64 or float32, found complex '" + reader.descr() + "'");
  }
  if (f.shape.size() != 3) {
    refuse(path + ": expected epochs x channels x samples (3 dimensions), found shape " + shapeText(f.shape));
  }
  const int64_t n = reader.elementCount();
  if (n == 0) refuse(path + ": shape " + shapeText(f.shape) + " holds no samples");
  if (reader.type() == interop::NpyType::float32) {
    f.float32.resize(static_cast<std::size_t>(n));
    reader.readFloat32(f.float32.data(), n);
  } else {
    f.float64.resize(static_cast<std::size_t>(n));
    reader.read(f.float64.data(), n);
  }
  return f;
}

std::vector<double> loadVectorFile(const std::string& path, const char* what) {
  interop::NpyReader reader(path);
  if (reader.type() == interop::NpyType::complex128) refuse(path + ": " + what + " must be real numbers (float64)");
  if (reader.shape().size() > 1 || reader.elementCount() < 1) {
    refuse(path + ": expected a vector of " + what + ", found shape " + shapeText(reader.shape()));
  }
  return reader.readAll();
}

std::vector<std::string> loadChannelNames(const std::string& path, int64_t channels) {
  std::ifstream in(path);
  if (!in) refuse(path + ": cannot open the channel names");
  std::vector<std::string> names;
  std::string line;
  while (std::getline(in, line)) names.push_back(trimmed(line));
  while (!names.empty() && names.back().empty()) names.pop_back();
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (names[k].empty()) refuse(path + ": line " + std::to_string(k + 1) + " names no channel");
  }
  if (static_cast<int64_t>(names.size()) != channels) {
    refuse(path + ": " + std::to_string(names.size()) + " channel names for " + std::to_string(channels) + " channels");
  }
  return names;
}

ComputeOutcome computeCollection(Collection& collection, const EpochsSource& active, const EpochsSource* control,
                                 std::vector<std::string> channelNames, const compute::Options& options,
                                 const compute::Progress& progress) {
  struct Input {
    int spctmClass;
    const EpochsSource* source;
  };
  std::vector<Input> inputs{{0, &active}};
  if (control) inputs.push_back({1, control});
  const int64_t channels = active.view.channels;
  if (control && control->view.channels != channels) {
    refuse(control->label + ": " + std::to_string(control->view.channels) + " channels, but the active epochs (" +
           active.label + ") have " + std::to_string(channels));
  }
  if (!channelNames.empty() && static_cast<int64_t>(channelNames.size()) != channels) {
    refuse(std::to_string(channelNames.size()) + " channel names for " + std::to_string(channels) + " channels");
  }
  ComputeOutcome outcome;
  outcome.channelNames = std::move(channelNames);
  // Every plan and sample check (and so every refusal) before any work.
  for (const Input& in : inputs) {
    try {
      compute::planConnectivity(in.source->view, options);
      compute::checkFiniteSamples(in.source->view);
    } catch (const Refused& e) {
      refuse(in.source->label + ": " + e.what());
    }
  }
  for (const Input& in : inputs) {
    auto dataset = std::make_unique<Dataset>();
    dataset->trialName = classDatasetName(in.spctmClass);
    ClassRun run;
    run.spctmClass = in.spctmClass;
    try {
      run.plan = compute::planConnectivity(in.source->view, options);
      run.figures = compute::computeConnectivity(in.source->view, options, *dataset, progress);
    } catch (const Refused& e) {
      refuse(in.source->label + ": " + e.what());
    }
    collection.addSpctmDataSet(dataset.release(), in.spctmClass);
    outcome.runs.push_back(run);
  }
  collection.autoFindSetSpctmClass();
  return outcome;
}

ComputeOutcome computeCollection(Collection& collection, const ComputeRequest& request,
                                 const compute::Progress& progress) {
  const EpochsFile active = loadEpochsFile(request.active);
  EpochsFile control;
  if (!request.control.empty()) control = loadEpochsFile(request.control);
  const int64_t channels = active.shape[1];
  if (!request.control.empty() && control.shape[1] != channels) {
    refuse(request.control + ": " + std::to_string(control.shape[1]) + " channels, but the active epochs (" +
           request.active + ") have " + std::to_string(channels));
  }
  std::vector<std::string> names;
  if (!request.channelNames.empty()) names = loadChannelNames(request.channelNames, channels);
  const EpochsSource activeSource{request.active, active.view()};
  const EpochsSource controlSource{request.control, control.view()};
  return computeCollection(collection, activeSource, request.control.empty() ? nullptr : &controlSource,
                           std::move(names), request.options, progress);
}

}  // namespace megcxc::host
