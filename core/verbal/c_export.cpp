#include "core/verbal/c_export.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/base/format_real.h"
#include "core/data/data_description.h"

namespace velmar {
namespace {

// The engine adds a weighted sum in this many interleaved partial sums once
// the fan-in reaches it (see Dot in propagation.cpp); the export repeats the
// same order so that every rounding step is the same.
constexpr int kLanes = 8;

struct InputField {
  const FieldDescription* field;
  int signal;  // first input signal
  int width;
};

struct OutputField {
  const FieldDescription* field;
  int output;  // first network output
  int width;
};

struct Layout {
  std::vector<InputField> inputs;   // Input fields, the order of the function's arguments
  std::vector<InputField> retired;  // NotUsed fields (inputs removed by contrasting)
  std::vector<OutputField> outputs;
  std::vector<bool> live_signal;  // per input signal: fed by an Input field
};

// Replaces what would end a C comment.
std::string CommentText(std::string text) {
  for (size_t i = 0; (i = text.find("*/", i)) != std::string::npos;) text.replace(i, 2, "* /");
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// A C string literal of UTF-8 text, non-ASCII bytes as octal escapes so the
// file compiles whatever the compiler's source character set.
std::string CString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f || c == '?' || c == '@') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Real(double x) { return FormatReal(x, '.'); }

const char* MethodText(int32_t method) {
  switch (method) {
    case 0:
      return "steepest descent";
    case 1:
      return "modified ParTan";
    case 2:
      return "conjugate gradients";
    case 3:
      return "memoryless quasi-Newton (BFGS)";
  }
  return "unknown";
}

bool Finite(float x) { return std::isfinite(x); }

Status MakeLayout(const NeuralNet& net, Layout& layout) {
  const DataDescription& d = net.Desc;
  int signal = 0;
  int output = 0;
  for (const FieldDescription& f : d.Fields) {
    if (f.Usage == FieldUsage::NotNumeric) continue;
    const int width = FieldWidth(f);
    if (width < 1) return Status::Corrupt("field " + f.Name + " has no signals");
    if (f.Usage == FieldUsage::Output) {
      layout.outputs.push_back({&f, output, width});
      output += width;
      continue;
    }
    (f.Usage == FieldUsage::Input ? layout.inputs : layout.retired).push_back({&f, signal, width});
    signal += width;
  }
  if (signal != d.NumOfInputs || output != d.NumOfOutputs || net.NumOfLayers() < 1 ||
      static_cast<int>(net.LayerMap.size()) < 4 * (net.NumOfLayers() + 1) ||
      static_cast<int>(net.Parameters.size()) < net.NumOfParameters) {
    return Status::Corrupt("the network's layout does not match its fields");
  }
  layout.live_signal.assign(static_cast<size_t>(signal), false);
  for (const InputField& in : layout.inputs) {
    for (int s = 0; s < in.width; ++s)
      layout.live_signal[static_cast<size_t>(in.signal + s)] = true;
  }
  return Status::Ok();
}

// FormatReal in C, for the continuous forecasts of main().
constexpr const char* kFormatReal =
    R"C(/* A number as the test window shows it: 7 significant digits, fixed notation
   for decimal exponents -3..7, else d.dddEn. */
static void @_format(double x, char *out) {
  char buf[40], digits[8];
  const char *q;
  int n = 0, e, i;
  if (x != x) {
    strcpy(out, "NaN");
    return;
  }
  if (x > 1.7976931348623157e308 || x < -1.7976931348623157e308) {
    strcpy(out, x < 0 ? "-Inf" : "Inf");
    return;
  }
  if (x == 0) {
    strcpy(out, "0");
    return;
  }
  sprintf(buf, "%.6e", x < 0 ? -x : x);
  for (q = buf; *q != 'e'; ++q) {
    if (*q >= '0' && *q <= '9') digits[n++] = *q;
  }
  e = atoi(q + 1) + 1;
  while (n > 1 && digits[n - 1] == '0') --n;
  if (x < 0) *out++ = '-';
  if (e >= -3 && e <= 7) {
    if (e <= 0) {
      *out++ = '0';
      *out++ = '.';
      for (i = 0; i < -e; ++i) *out++ = '0';
      for (i = 0; i < n; ++i) *out++ = digits[i];
    } else if (n <= e) {
      for (i = 0; i < n; ++i) *out++ = digits[i];
      for (; i < e; ++i) *out++ = '0';
    } else {
      for (i = 0; i < e; ++i) *out++ = digits[i];
      *out++ = '.';
      for (; i < n; ++i) *out++ = digits[i];
    }
    *out = 0;
  } else {
    *out++ = digits[0];
    if (n > 1) {
      *out++ = '.';
      for (i = 1; i < n; ++i) *out++ = digits[i];
    }
    sprintf(out, "E%d", e - 1);
  }
}

)C";

class Writer {
 public:
  Writer(const NeuralNet& net, const CExportOptions& options, const Layout& layout,
         std::string ident)
      : net_(net), options_(options), layout_(layout), id_(std::move(ident)), up_(id_) {
    for (char& c : up_) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }

  std::string Run() {
    ComputeLiveNeurons();
    std::string body = Body();
    std::string out = Header();
    out += Declarations();
    out += Helpers();
    out += body;
    if (options_.with_main) out += Main();
    return out;
  }

 private:
  int Layers() const { return net_.NumOfLayers(); }
  int Size(int l) const { return net_.LayerSize(l); }
  int FanIn(int l) const { return net_.FanIn(l); }
  float Weight(int l, int j, int s) const {
    return net_.Parameters[static_cast<size_t>(net_.WeightStart(l) + j * FanIn(l) + s)];
  }

  // A hidden neuron is kept when some kept neuron of the next layer hears it.
  void ComputeLiveNeurons() {
    live_.assign(static_cast<size_t>(Layers() + 1), {});
    live_[Layers()].assign(static_cast<size_t>(Size(Layers())), true);
    for (int l = Layers() - 1; l >= 0; --l) {
      live_[l].assign(static_cast<size_t>(Size(l)), false);
      for (int i = 0; i < Size(l + 1); ++i) {
        if (!live_[l + 1][i]) continue;
        for (int j = 0; j < Size(l); ++j) {
          if (Weight(l + 1, i, j) != 0) live_[l][j] = true;
        }
      }
    }
  }

  bool SourceLive(int l, int s) const {
    return l == 0 ? layout_.live_signal[static_cast<size_t>(s)] : live_[l - 1][s];
  }

  std::string SourceName(int l, int s) const {
    return (l == 0 ? std::string("x") : "h" + std::to_string(l)) + "[" + std::to_string(s) + "]";
  }

  // "0.0 + w * (double)src - w * (double)src ...", wrapped.
  std::string Terms(const std::vector<std::pair<int, float>>& terms, int l,
                    const std::string& indent) const {
    std::string out = "0.0";
    int on_line = 0;
    for (const auto& [s, w] : terms) {
      if (++on_line > 3) {
        out += "\n" + indent + "   ";
        on_line = 1;
      }
      out += w < 0 ? " - " : " + ";
      // A weight of +-1 (a binarized level) multiplies exactly: the source alone.
      if (w != 1 && w != -1) out += CFloatLiteral(w < 0 ? -w : w) + " * ";
      out += "(double)" + SourceName(l, s);
    }
    return out;
  }

  // The statement that leaves neuron j's weighted sum of layer l in `s`.
  std::string SumStatement(int l, int j) {
    const int k = FanIn(l);
    const std::string indent = "  ";
    std::vector<std::pair<int, float>> lanes[kLanes], tail;
    const int blocked = k - k % kLanes;
    for (int s = 0; s < k; ++s) {
      const float w = Weight(l, j, s);
      if (w == 0 || !SourceLive(l, s)) continue;
      (s < blocked ? lanes[s % kLanes] : tail).emplace_back(s, w);
    }
    if (blocked == 0) return indent + "s = " + Terms(tail, l, indent) + ";\n";
    uses_lanes_ = true;
    std::string out;
    for (int u = 0; u < kLanes; ++u) {
      out += indent + "p[" + std::to_string(u) + "] = " + Terms(lanes[u], l, indent) + ";\n";
    }
    out += indent + "s = " + Terms(tail, l, indent) + ";\n";
    out +=
        indent + "s = (((p[0] + p[4]) + (p[1] + p[5])) + ((p[2] + p[6]) + (p[3] + p[7]))) + s;\n";
    return out;
  }

  std::string CodeInputs() {
    std::string out;
    int arg = 0;
    for (const InputField& in : layout_.inputs) {
      const FieldDescription& f = *in.field;
      const std::string x = "x + " + std::to_string(in.signal);
      out += "  /* " + CommentText(f.Name) + ": ";
      out += "fields[" + std::to_string(arg) + "] */\n";
      out += "  if (!" + id_ + "_value(fields[" + std::to_string(arg) + "], &v)) return 0;\n";
      if (f.IsDiscrete == 0) {
        uses_scale_ = true;
        out += "  x[" + std::to_string(in.signal) + "] = " + id_ + "_scale(v, " +
               CFloatLiteral(f.MinValue) + ", " + CFloatLiteral(f.MaxValue) + ");\n";
      } else {
        const int count = std::min<int>(in.width, static_cast<int>(f.States.size()));
        if (count == 0) {
          out += "  return 0; /* no states: no value can be coded */\n";
        } else {
          uses_states_ = true;
          out += "  if (!" + id_ + "_states(v, " + StatesName(arg) + ", " + std::to_string(count) +
                 ", " + std::to_string(in.width) + ", " + (f.Predecessor ? "1" : "0") + ", " + x +
                 ")) return 0;\n";
        }
      }
      ++arg;
    }
    return out;
  }

  std::string StatesName(int arg) const { return id_ + "_states_" + std::to_string(arg + 1); }

  std::string StateTables() const {
    std::string out;
    int arg = 0;
    for (const InputField& in : layout_.inputs) {
      const FieldDescription& f = *in.field;
      const int count = std::min<int>(in.width, static_cast<int>(f.States.size()));
      if (f.IsDiscrete != 0 && count > 0) {
        out += "/* " + CommentText(f.Name) + ": the states [from, to]";
        out += f.Predecessor ? ", ordered (cumulative code) */\n" : " (one-hot code) */\n";
        out += "static const float " + StatesName(arg) + "[" + std::to_string(count) + "][2] = {";
        for (int s = 0; s < count; ++s) {
          out += s ? ", " : "";
          out += "{" + CFloatLiteral(f.States[s].From) + ", " + CFloatLiteral(f.States[s].To) + "}";
        }
        out += "};\n\n";
      }
      ++arg;
    }
    return out;
  }

  std::string Forward() {
    std::string out;
    for (int l = 0; l < Layers(); ++l) {
      const int m = Size(l);
      out += "\n  /* Layer " + std::to_string(l + 1) + ": " + std::to_string(m) +
             " neurons f(A) = A / (c + |A|), A = bias + weighted sum of " +
             (l == 0 ? std::string("the inputs x") : "layer " + std::to_string(l)) + " */\n";
      for (int j = 0; j < m; ++j) {
        std::string name = "h";
        name += std::to_string(l + 1) + "[" + std::to_string(j) + "]";
        if (!live_[l][j]) {
          out += "  /* " + name + ": removed (no kept synapse leaves it) */\n";
          continue;
        }
        const size_t n0 = static_cast<size_t>(net_.NeuronStart(l) + 2 * j);
        uses_sigmoid_ = true;
        out += SumStatement(l, j);
        out += "  " + name + " = " + id_ + "_sigmoid(s, " + CFloatLiteral(net_.Parameters[n0 + 1]) +
               ", " + CFloatLiteral(net_.Parameters[n0]) + ");\n";
      }
    }
    const int L = Layers();
    out += "\n  /* Output layer: " + std::to_string(Size(L)) +
           " linear neurons, bias + weighted sum of " +
           (L == 0 ? std::string("the inputs") : "layer " + std::to_string(L)) + " */\n";
    for (int j = 0; j < Size(L); ++j) {
      const size_t b = static_cast<size_t>(net_.NeuronStart(L) + j);
      out += SumStatement(L, j);
      out += "  y[" + std::to_string(j) + "] = " + id_ + "_linear(s, " +
             CFloatLiteral(net_.Parameters[b]) + ");\n";
    }
    return out;
  }

  std::string Decode() {
    std::string out = "\n  /* Decoding of the output fields */\n";
    int a = 0;
    for (const OutputField& o : layout_.outputs) {
      const FieldDescription& f = *o.field;
      const std::string i = std::to_string(a);
      const std::string y = "y + " + std::to_string(o.output);
      out += "  /* " + CommentText(f.Name) + " */\n";
      if (f.IsDiscrete == 0) {
        uses_unscale_ = true;
        out += "  result->value[" + i + "] = " + id_ + "_unscale(y[" + std::to_string(o.output) +
               "], " + CFloatLiteral(f.MinValue) + ", " + CFloatLiteral(f.MaxValue) + ");\n";
        out += "  result->klass[" + i + "] = 0;\n";
        out += "  result->confidence[" + i + "] = 0.0f;\n";
      } else {
        const bool ordered = f.Predecessor != 0;
        (ordered ? uses_ordered_ : uses_winner_) = true;
        out += "  result->value[" + i + "] = 0.0f;\n";
        out += "  " + id_ + (ordered ? "_ordered(" : "_winner(") + y + ", " +
               std::to_string(o.width) + ", " + CFloatLiteral(f.Gap) + ", &result->klass[" + i +
               "], &result->confidence[" + i + "]);\n";
      }
      ++a;
    }
    return out;
  }

  std::string Body() {
    std::string forward = Forward();
    std::string inputs = CodeInputs();
    std::string decode = Decode();
    std::string out = StateTables();
    out += "int " + id_ + "(const double fields[" + up_ + "_NUM_FIELDS], " + id_ +
           "_result *result) {\n";
    out += "  float x[" + up_ + "_NUM_INPUTS]; /* coded input signals */\n";
    for (int l = 0; l < Layers(); ++l) {
      if (std::find(live_[l].begin(), live_[l].end(), true) == live_[l].end()) continue;
      out += "  float h" + std::to_string(l + 1) + "[" + std::to_string(Size(l)) + "];\n";
    }
    out += "  float *y = result->outputs;\n";
    if (uses_lanes_) out += "  double p[8]; /* partial sums over the sources s mod 8 */\n";
    out += "  double s; /* a weighted sum */\n";
    if (!layout_.inputs.empty()) out += "  float v;\n";
    if (layout_.inputs.empty()) out += "  (void)fields;\n";
    out += "\n  /* Coding of the input fields */\n";
    if (!layout_.retired.empty()) {
      out += "  /* retired inputs feed 0: */\n";
      for (const InputField& in : layout_.retired) {
        out += "  /* " + CommentText(in.field->Name) + " */\n";
        for (int k = 0; k < in.width; ++k) {
          out += "  x[" + std::to_string(in.signal + k) + "] = 0.0f;\n";
        }
      }
    }
    out += inputs;
    out += forward;
    out += decode;
    out += "  return 1;\n}\n";
    return out;
  }

  std::string Header() const {
    const DataDescription& d = net_.Desc;
    std::string out = "/* " + CommentText(d.Name) + ": a Velmar network as C99 source.\n *\n";
    out += " * int " + id_ + "(const double fields[" + up_ + "_NUM_FIELDS], " + id_ +
           "_result *result)\n";
    out +=
        " * takes one record's input fields in this order and returns 1 with the decoded\n"
        " * outputs in *result, or 0 when the record cannot be coded (a missing value,\n"
        " * a value in no state of a discrete field); a missing value is any NaN\n"
        " * (NAN of <math.h>). Logical fields are 1 for true and 0 for false. Each\n"
        " * value is taken as a float32, as the table engine reads it.\n *\n";
    out += " * Input fields:\n";
    int arg = 0;
    for (const InputField& in : layout_.inputs) {
      out += " *   fields[" + std::to_string(arg++) + "] " + CommentText(in.field->Name) + ": " +
             FieldText(*in.field) + "\n";
    }
    for (const InputField& in : layout_.retired) {
      out += " *   (" + CommentText(in.field->Name) + ": removed by contrasting, not read";
      out += options_.options.ExtendTaskbook != 0
                 ? ")\n"
                 : "; main() still skips records where it is empty)\n";
    }
    out += " * Output fields (result index):\n";
    int a = 0;
    for (const OutputField& o : layout_.outputs) {
      const FieldDescription& f = *o.field;
      out += " *   [" + std::to_string(a++) + "] " + CommentText(f.Name) + ": " + FieldText(f);
      out += f.IsDiscrete ? ", reliability " + Real(f.Gap) : ", accuracy +-" + Real(f.Gap);
      out += "\n";
    }
    out +=
        " * A discrete output gives klass (1-based, 0 when unknown) and confidence (at\n"
        " * least 1 when the margin the reliability asks for is met); a continuous one\n"
        " * gives value.\n *\n";
    out += " * Layers:";
    for (int l = 0; l < Layers(); ++l) {
      int kept = 0;
      for (bool b : live_[l]) kept += b ? 1 : 0;
      out += (l ? ", " : " ") + std::to_string(kept) + " of " + std::to_string(Size(l)) +
             " neurons (c = " + Real(d.Characteristic[l]) + ")";
    }
    out += ", " + std::to_string(Size(Layers())) + " linear outputs.\n";
    out += " * Training: " + std::to_string(net_.NumOfTrainingCycles) +
           " training cycles; the project's method is " +
           MethodText(options_.options.TrainingMethod) + ".\n";
    out += " * Simplification: " + std::to_string(net_.NumOfPrunedInputs) + " inputs, " +
           std::to_string(net_.NumOfPrunedSynapses) + " synapses and " +
           std::to_string(net_.NumOfPrunedNeurons) + " neurons removed, " +
           std::to_string(net_.NumOfBinSynapses) + " synapses binarized.\n";
    if (d.IsMonotonical) out += " * Monotone architecture.\n";
    out +=
        " *\n"
        " * Arithmetic: float32 data, weighted sums in double in a fixed order, as the\n"
        " * workbench computes them, so the outputs agree bit for bit. Compile without\n"
        " * -ffast-math and without contraction into fused multiply-adds\n"
        " * (gcc -std=c99 turns it off; otherwise -ffp-contract=off).\n */\n\n";
    return out;
  }

  static std::string FieldText(const FieldDescription& f) {
    if (f.IsDiscrete == 0) {
      return "continuous, " + Real(f.MinValue) + " .. " + Real(f.MaxValue);
    }
    std::string out = std::to_string(f.NumOfDiscreteStates) + " states";
    out += f.Predecessor ? " (ordered):" : ":";
    const int count = std::min<int>(f.NumOfDiscreteStates, static_cast<int>(f.States.size()));
    for (int s = 0; s < count; ++s) {
      out += " [" + Real(f.States[s].From) + " .. " + Real(f.States[s].To) + "]";
    }
    return out;
  }

  std::string Declarations() const {
    std::string out;
    out += "#define " + up_ + "_NUM_FIELDS " +
           std::to_string(std::max<size_t>(layout_.inputs.size(), 1)) + " /* input fields */\n";
    out += "#define " + up_ + "_NUM_INPUTS " + std::to_string(net_.Desc.NumOfInputs) +
           " /* input signals */\n";
    out += "#define " + up_ + "_NUM_OUT_FIELDS " + std::to_string(layout_.outputs.size()) +
           " /* output fields */\n";
    out += "#define " + up_ + "_NUM_OUTPUTS " + std::to_string(net_.Desc.NumOfOutputs) +
           " /* output signals */\n\n";
    out += "typedef struct {\n";
    out += "  float outputs[" + up_ + "_NUM_OUTPUTS]; /* the network's output signals */\n";
    out += "  float value[" + up_ + "_NUM_OUT_FIELDS];   /* continuous fields */\n";
    out +=
        "  int klass[" + up_ + "_NUM_OUT_FIELDS];     /* discrete fields: 1-based, 0 unknown */\n";
    out += "  float confidence[" + up_ + "_NUM_OUT_FIELDS]; /* discrete fields */\n";
    out += "} " + id_ + "_result;\n\n";
    out += "int " + id_ + "(const double fields[" + up_ + "_NUM_FIELDS], " + id_ +
           "_result *result);\n\n";
    return out;
  }

  std::string Helpers() const {
    std::string out;
    const std::string& p = id_;
    if (uses_sigmoid_ || uses_ordered_) {
      out += "/* |x| with fabs's sign of zero, without the maths library. */\n";
      out += "static double " + p +
             "_abs(double x) { return x < 0.0 ? -x : (x > 0.0 ? x : 0.0); }\n\n";
    }
    if (!layout_.inputs.empty()) {
      out += "/* A value as a float32; 0 when missing or beyond the float32 range. */\n";
      out += "static int " + p + "_value(double x, float *v) {\n";
      out +=
          "  if (x != x || x >= 3.4028235677973366e38 || x <= -3.4028235677973366e38) return 0;\n";
      out += "  *v = (float)x;\n  return 1;\n}\n\n";
    }
    if (uses_scale_) {
      out += "/* A continuous value scaled from [lo, hi] onto [-1, 1] (not clipped). */\n";
      out += "static float " + p + "_scale(float v, float lo, float hi) {\n";
      out += "  double min = lo, max = hi;\n";
      out += "  double half = max == min ? 1.0 : (max - min) * 0.5;\n";
      out += "  return (float)((v - (min + max) * 0.5) / half);\n}\n\n";
    }
    if (uses_states_) {
      out +=
          "/* +1 for each state holding v, -1 for the others; an ordered field also\n"
          "   codes +1 for the states before the first that holds v. 0 when none does. */\n";
      out += "static int " + p +
             "_states(float v, const float (*state)[2], int count, int width, int ordered,\n"
             "    float *x) {\n";
      out += "  int first = -1, k;\n";
      out += "  for (k = 0; k < count && first < 0; ++k) {\n";
      out += "    if (state[k][0] <= v && v <= state[k][1]) first = k;\n  }\n";
      out += "  if (first < 0) return 0;\n";
      out += "  for (k = 0; k < width; ++k) {\n";
      out += "    int in = k < count && state[k][0] <= v && v <= state[k][1];\n";
      out += "    x[k] = in || (ordered && k < first) ? 1.0f : -1.0f;\n  }\n";
      out += "  return 1;\n}\n\n";
    }
    if (uses_sigmoid_) {
      out += "/* A hidden neuron: the sum is stored as a float32 first. */\n";
      out += "static float " + p + "_sigmoid(double sum, float bias, float c) {\n";
      out += "  double a = (double)bias + (double)(float)sum;\n";
      out += "  return (float)(a / ((double)c + " + p + "_abs(a)));\n}\n\n";
    }
    out += "static float " + p + "_linear(double sum, float bias) {\n";
    out += "  return (float)((double)(float)sum + (double)bias);\n}\n\n";
    if (uses_unscale_) {
      out += "/* An output signal mapped back from [-1, 1] onto [lo, hi]. */\n";
      out += "static float " + p + "_unscale(float y, float lo, float hi) {\n";
      out += "  double min = lo, max = hi;\n";
      out += "  return (float)(((max - min) * y + (max + min)) * 0.5);\n}\n\n";
    }
    if (uses_ordered_) {
      out +=
          "/* Ordered states: the class is the last positive output; confidence is the\n"
          "   smallest |y| / gap. */\n";
      out += "static void " + p +
             "_ordered(const float *y, int n, float gap, int *klass, float *confidence) {\n";
      out += "  float q = 3.4028235e38f;\n  int k;\n  *klass = 0;\n";
      out += "  for (k = 0; k < n; ++k) {\n    if (y[k] > 0.0f) *klass = k + 1;\n";
      out += "    if (gap > 0.0f && (float)" + p + "_abs(y[k]) / gap < q) q = (float)" + p +
             "_abs(y[k]) / gap;\n  }\n";
      out += "  *confidence = q;\n}\n\n";
    }
    if (uses_winner_) {
      out +=
          "/* Unordered states: the class is the first largest output; confidence is the\n"
          "   smallest margin to another output over 2 gap. */\n";
      out += "static void " + p +
             "_winner(const float *y, int n, float gap, int *klass, float *confidence) {\n";
      out += "  float q = 3.4028235e38f;\n  int best = 0, k;\n";
      out += "  for (k = 1; k < n; ++k) {\n    if (y[k] > y[best]) best = k;\n  }\n";
      out += "  for (k = 0; k < n && gap > 0.0f; ++k) {\n";
      out +=
          "    if (k != best && (y[best] - y[k]) / (2.0f * gap) < q) q = (y[best] - y[k]) / (2.0f "
          "* gap);\n";
      out += "  }\n  *klass = best + 1;\n  *confidence = q;\n}\n\n";
    }
    return out;
  }

  std::string Main() const {
    const std::string& p = id_;
    std::string out =
        "\n#include <math.h>\n#include <stdio.h>\n#include <stdlib.h>\n#include <string.h>\n\n";
    out += R"C(/* One CSV record (RFC 4180 quoting, LF or CRLF): cells ended by '\0'. */
typedef struct {
  char *text;
  size_t size, cap;
  size_t *start;
  size_t cells, cells_cap;
} @_record;

static int @_put(@_record *r, int c) {
  if (r->size == r->cap) {
    size_t cap = r->cap ? 2 * r->cap : 256;
    char *text = (char *)realloc(r->text, cap);
    if (!text) return 0;
    r->text = text;
    r->cap = cap;
  }
  r->text[r->size++] = (char)c;
  return 1;
}

static int @_cell(@_record *r) {
  if (r->cells == r->cells_cap) {
    size_t cap = r->cells_cap ? 2 * r->cells_cap : 16;
    size_t *start = (size_t *)realloc(r->start, cap * sizeof *start);
    if (!start) return 0;
    r->start = start;
    r->cells_cap = cap;
  }
  r->start[r->cells++] = r->size;
  return 1;
}

/* 1 with a record, 0 at the end of the input, -1 without memory. */
static int @_read(FILE *in, @_record *r) {
  int c = getc(in), quoted = 0;
  r->size = 0;
  r->cells = 0;
  if (c == EOF) return 0;
  if (!@_cell(r)) return -1;
  while (c != EOF) {
    if (quoted && c == '"') {
      c = getc(in);
      if (c != '"') {
        quoted = 0;
        continue;
      }
    }
    if (quoted) {
      if (!@_put(r, c)) return -1;
    } else if (c == '"') {
      quoted = 1;
    } else if (c == ',') {
      if (!@_put(r, 0) || !@_cell(r)) return -1;
    } else if (c == '\n') {
      break;
    } else if (c != '\r') {
      if (!@_put(r, c)) return -1;
    }
    c = getc(in);
  }
  return @_put(r, 0) ? 1 : -1;
}

static const char *@_text(const @_record *r, int column) {
  return column >= 0 && (size_t)column < r->cells ? r->text + r->start[column] : "";
}

/* A cell as a number; NaN (missing) when empty or not a number. */
static double @_number(const char *text) {
  char *end;
  double x;
  while (*text == ' ') ++text;
  if (!*text) return NAN;
  x = strtod(text, &end);
  while (*end == ' ') ++end;
  return end == text || *end ? NAN : x;
}

static int @_find(const @_record *header, const char *name) {
  size_t c;
  for (c = 0; c < header->cells; ++c) {
    if (strcmp(header->text + header->start[c], name) == 0) return (int)c;
  }
  return -1;
}

)C";
    bool continuous = false;
    for (const OutputField& o : layout_.outputs)
      continuous = continuous || o.field->IsDiscrete == 0;
    if (continuous) out += kFormatReal;
    // Field names and the columns main() reads.
    out +=
        "/* Reads CSV records with a header line from standard input and prints, per\n"
        "   record, the forecast of each output field, tab-separated, as the test\n"
        "   window shows it; a record that cannot be coded gives empty cells. */\n";
    out += "int main(void) {\n";
    std::vector<std::string> names;
    for (const InputField& in : layout_.inputs) names.push_back(in.field->Name);
    std::vector<std::string> checked;  // retired fields whose empty cell drops the record
    if (options_.options.ExtendTaskbook == 0) {
      for (const InputField& in : layout_.retired) checked.push_back(in.field->Name);
    }
    auto list = [&](const char* array, const std::vector<std::string>& items) {
      std::string text = "  static const char *const " + std::string(array) + "[] = {";
      for (size_t i = 0; i < items.size(); ++i)
        text += (i ? ",\n      " : "\n      ") + CString(items[i]);
      if (items.empty()) text += "\"\"";
      return text + "};\n";
    };
    out += list("names", names);
    out += list("retired", checked);
    out += "  const int fields = " + std::to_string(names.size()) +
           ", retired_fields = " + std::to_string(checked.size()) + ";\n";
    out += "  int column[" + std::to_string(std::max<size_t>(names.size(), 1)) + "], skip[" +
           std::to_string(std::max<size_t>(checked.size(), 1)) + "];\n";
    out += "  double values[" + up_ + "_NUM_FIELDS];\n";
    out += "  " + p + "_result result;\n  " + p + "_record r = {0};\n";
    out += continuous ? "  char number[40];\n  int i, status;\n\n" : "  int i, status;\n\n";
    out += R"C(  if (@_read(stdin, &r) <= 0) {
    fprintf(stderr, "no header line on standard input\n");
    return 1;
  }
  if (r.size >= 3 && memcmp(r.text, "\357\273\277", 3) == 0) r.start[0] += 3; /* a BOM */
  for (i = 0; i < fields + retired_fields; ++i) {
    const char *name = i < fields ? names[i] : retired[i - fields];
    int c = @_find(&r, name);
    if (c < 0) {
      fprintf(stderr, "no column \"%s\" in the header line\n", name);
      return 1;
    }
    if (i < fields) column[i] = c; else skip[i - fields] = c;
  }
  values[0] = 0.0;
  while ((status = @_read(stdin, &r)) > 0) {
    int ok = 1;
    if (r.cells == 1 && r.text[0] == 0) continue; /* a blank line */
    for (i = 0; i < fields; ++i) values[i] = @_number(@_text(&r, column[i]));
    for (i = 0; i < retired_fields; ++i) {
      if (!*@_text(&r, skip[i])) ok = 0;
    }
    ok = ok && @(values, &result);
)C";
    int a = 0;
    for (const OutputField& o : layout_.outputs) {
      const std::string i = std::to_string(a);
      if (a > 0) out += "    putchar('\\t');\n";
      if (o.field->IsDiscrete == 0) {
        out += "    if (ok) {\n      @_format(result.value[" + i +
               "], number);\n      fputs(number, stdout);\n    }\n";
      } else {
        out += "    if (ok && result.klass[" + i + "] > 0) printf(" + CString("Класс %d") +
               ", result.klass[" + i + "]);\n";
        out += "    if (ok && result.klass[" + i + "] == 0) fputs(" + CString("Класс неизвестен") +
               ", stdout);\n";
      }
      ++a;
    }
    out += R"C(    putchar('\n');
  }
  free(r.text);
  free(r.start);
  if (status < 0) {
    fprintf(stderr, "out of memory\n");
    return 1;
  }
  return 0;
}
)C";
    std::string result;
    for (char c : out) {
      if (c == '@') {
        result += p;
      } else {
        result += c;
      }
    }
    return result;
  }

  const NeuralNet& net_;
  const CExportOptions& options_;
  const Layout& layout_;
  std::string id_;
  std::string up_;
  std::vector<std::vector<bool>> live_;
  bool uses_lanes_ = false, uses_sigmoid_ = false, uses_scale_ = false, uses_states_ = false,
       uses_unscale_ = false, uses_ordered_ = false, uses_winner_ = false;
};

}  // namespace

std::string CFloatLiteral(float value) {
  char buf[48];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  std::string text(buf, result.ptr);
  if (text.find_first_of(".en") == std::string::npos) text += ".0";
  return text + "f";
}

std::string DefaultCIdentifier(const std::string& net_name) {
  std::string ident;
  for (unsigned char c : net_name) {
    if (std::isalnum(c) && c < 0x80) {
      ident += static_cast<char>(c);
    } else if (!ident.empty() && ident.back() != '_') {
      ident += '_';
    }
  }
  while (!ident.empty() && ident.back() == '_') ident.pop_back();
  if (ident.size() > 40) ident.resize(40);
  if (ident.empty()) return "velmar_net";
  if (std::isdigit(static_cast<unsigned char>(ident[0]))) ident = "net_" + ident;
  if (!IsUsableCIdentifier(ident)) ident = "net_" + ident;
  return ident.size() > 40 ? ident.substr(0, 40) : ident;
}

bool IsUsableCIdentifier(const std::string& ident) {
  static const char* const kKeywords[] = {
      "auto", "break", "case", "char", "const", "continue", "default", "do", "double", "else",
      "enum", "extern", "float", "for", "goto", "if", "inline", "int", "long", "register",
      "restrict", "return", "short", "signed", "sizeof", "static", "struct", "switch", "typedef",
      "union", "unsigned", "void", "volatile", "while", "main", "_Bool", "_Complex", "_Imaginary",
      // Names the generated code uses itself.
      "fields", "result", "x", "y", "s", "p", "v", "names", "retired", "retired_fields", "column",
      "skip", "values", "number", "status", "ok", "i", "r", "c", "name", "NAN", "FILE", "EOF",
      "stdin", "stdout", "stderr", "printf", "sprintf", "fprintf", "putchar", "fputs", "getc",
      "strtod", "atoi", "realloc", "free", "strcmp", "memcmp", "strcpy"};
  if (ident.empty() || ident.size() > 40) return false;
  const unsigned char first = static_cast<unsigned char>(ident[0]);
  if (!(std::isalpha(first) || first == '_') || first >= 0x80) return false;
  for (unsigned char c : ident) {
    if (c >= 0x80 || !(std::isalnum(c) || c == '_')) return false;
  }
  for (const char* k : kKeywords) {
    if (ident == k) return false;
  }
  // h1, h2, ...: the layers' outputs.
  if (ident.size() > 1 && ident[0] == 'h' &&
      std::all_of(ident.begin() + 1, ident.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
    return false;
  }
  return true;
}

Status ExportNetworkAsC(const NeuralNet& net, const CExportOptions& options, std::string& source) {
  const std::string ident =
      options.ident.empty() ? DefaultCIdentifier(net.Desc.Name) : options.ident;
  if (!IsUsableCIdentifier(ident)) {
    return Status::Invalid("\"" + ident + "\" is not a usable C identifier");
  }
  Layout layout;
  if (Status s = MakeLayout(net, layout); !s.ok()) return s;
  for (int i = 0; i < net.NumOfParameters; ++i) {
    if (!Finite(net.Parameters[static_cast<size_t>(i)])) {
      return Status::Corrupt("the network holds a parameter that is not a finite number");
    }
  }
  for (const FieldDescription& f : net.Desc.Fields) {
    if (f.Usage == FieldUsage::NotNumeric) continue;
    bool finite = Finite(f.MinValue) && Finite(f.MaxValue) && Finite(f.Gap);
    for (const StateRange& r : f.States) finite = finite && Finite(r.From) && Finite(r.To);
    if (!finite) return Status::Corrupt("field " + f.Name + " holds a number that is not finite");
  }
  Writer writer(net, options, layout, ident);
  source = writer.Run();
  return Status::Ok();
}

}  // namespace velmar
