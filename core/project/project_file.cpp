#include "core/project/project_file.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/base/byte_order.h"
#include "core/base/code_page.h"
#include "core/base/file_util.h"
#include "core/project/project.h"

namespace velmar {
namespace {

constexpr char kMagic[6] = {'V', 'M', '0', '0', '2', '5'};
constexpr size_t kHeaderBytes = 30;
constexpr size_t kDescriptionBlockBytes = 148;
constexpr size_t kFieldBlockBytes = 28;
constexpr int32_t kMaxTextLength = kMaxStoredTextBytes + 1;
// The smallest field record: an empty name, the block and the placeholder.
constexpr size_t kMinFieldRecordBytes = 4 + 1 + kFieldBlockBytes + 4;
// Parameters, bounds and flags, 4 bytes each; the cycle count and four totals.
constexpr size_t kBytesPerParameter = 16;
constexpr size_t kNetTrailerBytes = 20;
// A project file larger than this is not one we wrote.
constexpr uint64_t kMaxProjectFileBytes = uint64_t{1} << 31;

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Bytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) out_.push_back(p[i]);
  }
  void Byte(uint8_t value) { out_.push_back(value); }
  void Zeros(size_t count) { out_.resize(out_.size() + count, 0); }
  void Uint32(uint32_t value) {
    uint8_t bytes[4];
    StoreLe32(bytes, value);
    out_.insert(out_.end(), bytes, bytes + 4);
  }
  void Int32(int32_t value) { Uint32(static_cast<uint32_t>(value)); }
  void Float(float value) { Uint32(std::bit_cast<uint32_t>(value)); }

  // A counted string in Windows-1251 with its terminating zero.
  Status Text(const std::string& utf8, const char* what) {
    // A character the code page cannot hold would come back as "?", and a
    // field so renamed no longer matches its table column.
    if (!CanEncodeCp1251(utf8)) {
      return Status::Invalid(
          std::string(what) +
          " содержит символы, которые нельзя сохранить в файле проекта: " + utf8);
    }
    const std::string bytes = Utf8ToCp1251(utf8);
    if (bytes.find('\0') != std::string::npos) {
      return Status::Invalid(std::string(what) + " содержит нулевой символ");
    }
    if (bytes.size() > static_cast<size_t>(kMaxStoredTextBytes)) {
      return Status::Invalid(std::string(what) + " длиннее " + std::to_string(kMaxStoredTextBytes) +
                             " символов: " + utf8);
    }
    Int32(static_cast<int32_t>(bytes.size() + 1));
    Bytes(bytes.data(), bytes.size());
    Byte(0);
    return Status::Ok();
  }

 private:
  std::vector<uint8_t>& out_;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t remaining() const { return bytes_.size() - pos_; }

  bool Skip(size_t count) {
    if (remaining() < count) return false;
    pos_ += count;
    return true;
  }
  bool Byte(uint8_t& value) {
    if (remaining() < 1) return false;
    value = bytes_[pos_++];
    return true;
  }
  bool Uint32(uint32_t& value) {
    if (remaining() < 4) return false;
    value = LoadLe32(bytes_.data() + pos_);
    pos_ += 4;
    return true;
  }
  bool Int32(int32_t& value) {
    uint32_t raw = 0;
    if (!Uint32(raw)) return false;
    value = static_cast<int32_t>(raw);
    return true;
  }
  bool Float(float& value) {
    uint32_t raw = 0;
    if (!Uint32(raw)) return false;
    value = std::bit_cast<float>(raw);
    return true;
  }
  bool Span(size_t count, std::span<const uint8_t>& out) {
    if (remaining() < count) return false;
    out = bytes_.subspan(pos_, count);
    pos_ += count;
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

Status Truncated() { return Status::Corrupt("файл проекта обрывается"); }

bool ReadText(ByteReader& reader, std::string& text, Status& status) {
  int32_t length = 0;
  if (!reader.Int32(length)) {
    status = Truncated();
    return false;
  }
  if (length < 1 || length > kMaxTextLength) {
    status = Status::Corrupt("недопустимая длина строки в файле проекта");
    return false;
  }
  std::span<const uint8_t> bytes;
  if (!reader.Span(static_cast<size_t>(length), bytes)) {
    status = Truncated();
    return false;
  }
  if (bytes.back() != 0) {
    status = Status::Corrupt("строка в файле проекта не завершена нулем");
    return false;
  }
  const auto* chars = reinterpret_cast<const char*>(bytes.data());
  text = Cp1251ToUtf8(std::string_view(chars, std::strlen(chars)));
  return true;
}

Status WriteNet(ByteWriter& w, const NeuralNet& net) {
  const DataDescription& d = net.Desc;
  w.Byte(d.IsMonotonical);
  w.Zeros(3);
  w.Int32(d.NumOfLayers);
  w.Int32(d.NumOfInpFields);
  w.Int32(d.NumOfOutFields);
  w.Int32(d.NumOfInputs);
  w.Int32(d.NumOfOutputs);
  for (int32_t v : d.NumOfNeurons) w.Int32(v);
  for (int32_t v : d.NeuronType) w.Int32(v);
  for (float v : d.Characteristic) w.Float(v);
  w.Int32(static_cast<int32_t>(d.Fields.size()));
  VELMAR_RETURN_IF_ERROR(w.Text(d.Name, "Имя сети"));
  for (const FieldDescription& f : d.Fields) {
    VELMAR_RETURN_IF_ERROR(w.Text(f.Name, "Имя поля"));
    w.Int32(static_cast<int32_t>(f.Usage));
    w.Float(f.Gap);
    w.Float(f.MinValue);
    w.Float(f.MaxValue);
    w.Byte(f.IsDiscrete);
    w.Byte(f.Predecessor);
    w.Zeros(2);
    w.Int32(f.NumOfDiscreteStates);
    w.Uint32(f.StateMask);
    w.Int32(0);  // where the memory record keeps its state table pointer
    for (int s = 0; s < f.NumOfDiscreteStates; ++s) {
      const StateRange range =
          static_cast<size_t>(s) < f.States.size() ? f.States[s] : StateRange{};
      w.Float(range.From);
      w.Float(range.To);
    }
  }
  const size_t count = static_cast<size_t>(net.NumOfParameters);
  if (net.Parameters.size() < count || net.LowerBounds.size() < count ||
      net.UpperBounds.size() < count || net.ParamFlags.size() < count) {
    return Status::Invalid("сеть " + d.Name + " не построена");
  }
  for (size_t i = 0; i < count; ++i) w.Float(net.Parameters[i]);
  for (size_t i = 0; i < count; ++i) w.Float(net.LowerBounds[i]);
  for (size_t i = 0; i < count; ++i) w.Float(net.UpperBounds[i]);
  for (size_t i = 0; i < count; ++i) w.Int32(net.ParamFlags[i]);
  w.Int32(net.NumOfTrainingCycles);
  w.Int32(net.NumOfPrunedInputs);
  w.Int32(net.NumOfPrunedSynapses);
  w.Int32(net.NumOfBinSynapses);
  w.Int32(net.NumOfPrunedNeurons);
  return Status::Ok();
}

Status ReadField(ByteReader& r, FieldDescription& f) {
  Status status;
  if (!ReadText(r, f.Name, status)) return status;
  int32_t usage = 0;
  uint8_t discrete = 0, predecessor = 0;
  if (!r.Int32(usage) || !r.Float(f.Gap) || !r.Float(f.MinValue) || !r.Float(f.MaxValue) ||
      !r.Byte(discrete) || !r.Byte(predecessor) || !r.Skip(2) || !r.Int32(f.NumOfDiscreteStates) ||
      !r.Uint32(f.StateMask) || !r.Skip(4)) {
    return Truncated();
  }
  if (usage < 0 || usage > 3) return Status::Corrupt("недопустимое использование поля");
  if (discrete > 1 || predecessor > 1) return Status::Corrupt("недопустимый тип поля");
  if (f.NumOfDiscreteStates < 0 || f.NumOfDiscreteStates > kMaxStates) {
    return Status::Corrupt("недопустимое число дискретных состояний");
  }
  f.Usage = static_cast<FieldUsage>(usage);
  f.IsDiscrete = discrete;
  f.Predecessor = predecessor;
  if (f.IsDiscrete != 0 && f.Usage != FieldUsage::NotNumeric && f.NumOfDiscreteStates < 1) {
    return Status::Corrupt("дискретное поле без состояний");
  }
  f.States.clear();
  if (f.NumOfDiscreteStates > 0) {
    if (r.remaining() < static_cast<size_t>(f.NumOfDiscreteStates) * 8) return Truncated();
    f.States.assign(kMaxStates, StateRange{});
    for (int s = 0; s < f.NumOfDiscreteStates; ++s) {
      if (!r.Float(f.States[s].From) || !r.Float(f.States[s].To)) return Truncated();
    }
  }
  return Status::Ok();
}

// The description must agree with its fields: the engine sizes its vectors
// by the counters and walks the fields to fill them.
Status CheckCounters(const DataDescription& d) {
  int64_t inputs = 0, outputs = 0, out_fields = 0, in_fields = 0;
  for (const FieldDescription& f : d.Fields) {
    if (f.Usage == FieldUsage::Input || f.Usage == FieldUsage::NotUsed) {
      inputs += FieldWidth(f);
      ++in_fields;
    } else if (f.Usage == FieldUsage::Output) {
      outputs += FieldWidth(f);
      ++out_fields;
    }
  }
  if (inputs != d.NumOfInputs || outputs != d.NumOfOutputs || out_fields != d.NumOfOutFields ||
      d.NumOfInpFields < 0 || d.NumOfInpFields > in_fields) {
    return Status::Corrupt("описание сети не согласуется с ее полями");
  }
  if (d.NumOfInputs < 1 || d.NumOfOutputs < 1) {
    return Status::Corrupt("у сети нет входов или выходов");
  }
  return Status::Ok();
}

Status ReadNet(ByteReader& r, std::unique_ptr<NeuralNet>& out) {
  std::span<const uint8_t> block;
  if (!r.Span(kDescriptionBlockBytes, block)) return Truncated();
  ByteReader b(block);
  DataDescription d;
  (void)(b.Byte(d.IsMonotonical) && b.Skip(3) && b.Int32(d.NumOfLayers) &&
         b.Int32(d.NumOfInpFields) && b.Int32(d.NumOfOutFields) && b.Int32(d.NumOfInputs) &&
         b.Int32(d.NumOfOutputs));
  for (int32_t& v : d.NumOfNeurons) (void)b.Int32(v);
  for (int32_t& v : d.NeuronType) (void)b.Int32(v);
  for (float& v : d.Characteristic) (void)b.Float(v);
  (void)b.Int32(d.NumOfFields);

  if (d.IsMonotonical > 1) return Status::Corrupt("недопустимый признак монотонности");
  if (d.NumOfLayers < 1 || d.NumOfLayers > kMaxLayers) {
    return Status::Corrupt("недопустимое число слоев");
  }
  for (int l = 0; l < d.NumOfLayers; ++l) {
    if (d.NumOfNeurons[l] < 1 || d.NumOfNeurons[l] > kMaxNeuronsPerLayer) {
      return Status::Corrupt("недопустимое число нейронов");
    }
  }
  if (d.NumOfFields < 0 ||
      static_cast<uint64_t>(d.NumOfFields) * kMinFieldRecordBytes > r.remaining()) {
    return Status::Corrupt("недопустимое число полей");
  }
  Status status;
  if (!ReadText(r, d.Name, status)) return status;
  d.Fields.resize(static_cast<size_t>(d.NumOfFields));
  for (FieldDescription& f : d.Fields) VELMAR_RETURN_IF_ERROR(ReadField(r, f));
  VELMAR_RETURN_IF_ERROR(CheckCounters(d));
  if (Status shape = ValidateNetShape(d); !shape.ok()) return Status::Corrupt(shape.message());

  const int64_t parameters = NumOfParametersFor(d);
  if (parameters < 1 || parameters > std::numeric_limits<int32_t>::max() ||
      r.remaining() < static_cast<uint64_t>(parameters) * kBytesPerParameter + kNetTrailerBytes) {
    return Truncated();
  }

  auto net = std::make_unique<NeuralNet>();
  net->Desc = std::move(d);
  BuildNet(*net);
  if (net->NumOfParameters != parameters) {
    return Status::Corrupt("размер вектора параметров не согласуется с описанием сети");
  }
  const size_t count = static_cast<size_t>(parameters);
  for (size_t i = 0; i < count; ++i) (void)r.Float(net->Parameters[i]);
  for (size_t i = 0; i < count; ++i) (void)r.Float(net->LowerBounds[i]);
  for (size_t i = 0; i < count; ++i) (void)r.Float(net->UpperBounds[i]);
  for (size_t i = 0; i < count; ++i) (void)r.Int32(net->ParamFlags[i]);
  // No training writes a NaN or an infinity, and one would spread through
  // every pass and every test verdict.
  for (size_t i = 0; i < count; ++i) {
    if (!std::isfinite(net->Parameters[i]) || !std::isfinite(net->LowerBounds[i]) ||
        !std::isfinite(net->UpperBounds[i])) {
      return Status::Corrupt("недопустимое значение параметра в файле проекта");
    }
  }
  (void)(r.Int32(net->NumOfTrainingCycles) && r.Int32(net->NumOfPrunedInputs) &&
         r.Int32(net->NumOfPrunedSynapses) && r.Int32(net->NumOfBinSynapses) &&
         r.Int32(net->NumOfPrunedNeurons));
  out = std::move(net);
  return Status::Ok();
}

}  // namespace

Status CheckStorableText(std::string_view utf8) {
  if (!CanEncodeCp1251(utf8)) {
    return Status::Invalid("Текст содержит символы, которые нельзя сохранить в файле проекта: " +
                           std::string(utf8));
  }
  const std::string bytes = Utf8ToCp1251(utf8);
  if (bytes.find('\0') != std::string::npos) {
    return Status::Invalid("Текст содержит нулевой символ");
  }
  if (bytes.size() > static_cast<size_t>(kMaxStoredTextBytes)) {
    return Status::Invalid("Текст длиннее " + std::to_string(kMaxStoredTextBytes) +
                           " символов: " + std::string(utf8));
  }
  return Status::Ok();
}

Status SerializeProject(const Project& project, std::vector<uint8_t>& out) {
  out.clear();
  ByteWriter w(out);
  w.Bytes(kMagic, sizeof kMagic);
  const ProjectOptions& options = project.Options();
  w.Int32(project.NetCount());
  w.Int32(project.NetNameCounter());
  w.Int32(options.TrainingMethod);
  w.Int32(options.SensitivityNorm);
  w.Int32(options.BinaryWeightSet);
  w.Int32(options.ExtendTaskbook);
  for (int i = 0; i < project.NetCount(); ++i) {
    VELMAR_RETURN_IF_ERROR(WriteNet(w, project.Net(i)));
  }
  return Status::Ok();
}

Status ParseProject(std::span<const uint8_t> bytes, Project& project) {
  if (bytes.size() < kHeaderBytes) return Truncated();
  if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
    return Status::Corrupt("это не файл проекта");
  }
  ByteReader r(bytes.subspan(sizeof kMagic));
  int32_t header[6] = {};
  for (int32_t& v : header) (void)r.Int32(v);
  const auto [net_count, counter, method, norm, bin_set, extend] = header;
  for (int32_t v : header) {
    if (v < 0) return Status::Corrupt("отрицательное значение в заголовке файла проекта");
  }
  if (net_count > kMaxNetworks || method > 3 || norm > 1 || bin_set > 3 || extend > 1) {
    return Status::Corrupt("недопустимое значение в заголовке файла проекта");
  }
  std::vector<std::unique_ptr<NeuralNet>> nets;
  for (int i = 0; i < net_count; ++i) {
    std::unique_ptr<NeuralNet> net;
    VELMAR_RETURN_IF_ERROR(ReadNet(r, net));
    nets.push_back(std::move(net));
  }
  if (r.remaining() != 0) return Status::Corrupt("лишние данные в конце файла проекта");

  ProjectOptions& options = project.Options();
  options.TrainingMethod = method;
  options.SensitivityNorm = norm;
  options.BinaryWeightSet = bin_set;
  options.ExtendTaskbook = extend;
  project.SetNetNameCounter(counter);
  for (auto& net : nets) project.AppendLoadedNetwork(std::move(net));
  project.Select(project.NetCount() > 0 ? 0 : -1);
  project.SetModified(false);
  return Status::Ok();
}

Status SaveProject(Project& project, const std::filesystem::path& path) {
  return SaveProject(project, path, nullptr);
}

Status SaveProject(Project& project, const std::filesystem::path& path, FileLock* lock) {
  std::vector<uint8_t> bytes;
  VELMAR_RETURN_IF_ERROR(SerializeProject(project, bytes));
  AtomicFile file(path);
  VELMAR_RETURN_IF_ERROR(file.Open());
  VELMAR_RETURN_IF_ERROR(file.Write(bytes));
  VELMAR_RETURN_IF_ERROR(file.Commit(lock));
  project.SetModified(false);
  return Status::Ok();
}

Status LoadProject(const std::filesystem::path& path, Project& project) {
  std::vector<uint8_t> bytes;
  VELMAR_RETURN_IF_ERROR(ReadFileBytes(path, bytes, kMaxProjectFileBytes));
  return ParseProject(bytes, project);
}

std::string ProjectOpenErrorText(const std::filesystem::path& path, const Status& status) {
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (ec) full = path;
  std::string text = "Не удается открыть файл " + full.lexically_normal().string();
  if (status.IsNotFound()) {
    text += "\n\nФайл не найден";
  } else if (status.IsIoError() || status.IsUnsupported()) {
    text += "\n\nФайл не удается прочитать";
  } else if (!status.ok()) {
    text += "\n\nФайл поврежден: " + status.message();
  }
  return text;
}

}  // namespace velmar
