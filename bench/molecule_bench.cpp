// Molecule benchmarks on generated protein-like structures of 10,000, 30,000 and 100,000 atoms,
// as PDB without and with CONECT records and as mmCIF (bench/support/protein_files).
//
//   molecule_bench libraries [sizes]  the libraries' own readers, as a program would call them
//   molecule_bench open [sizes]       ReadMolecule to the first frame, and where its time goes
//   molecule_bench frames [sizes]     frames while the loaded structure turns
//
// Medians of five runs (three where one run takes over two seconds, one over twenty), in processor
// time of the one thread that does the work (the clock beside it). Run it pinned to one core
// (taskset -c 1) for figures that compare.
#include <sys/resource.h>
#include <time.h>

#include <openbabel/mol.h>
#include <openbabel/obconversion.h>

#include <algorithm>
#include <chrono>
#include <cif++.hpp>
#include <cif++/pdb/io.hpp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "formats/file_bytes.h"
#include "formats/molecule_babel.h"
#include "formats/molecule_bonds.h"
#include "formats/molecule_file.h"
#include "formats/molecule_mmcif.h"
#include "formats/molecule_scene.h"
#include "scene/headless_controls.h"
#include "scene/scene_data.h"
#include "scene/scene_model.h"
#include "support/bench_models.h"
#include "support/protein_files.h"
#include "support/scratch_dir.h"

namespace {

constexpr int kFrameWidth = 800;
constexpr int kFrameHeight = 600;

// Processor time of this thread, which other programs on the machine change little, and the
// time on the clock beside it.
struct Time {
  double cpu;
  double wall;
};

double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

Time Seconds(const std::function<void()>& work) {
  const double cpu = ThreadSeconds();
  const auto start = std::chrono::steady_clock::now();
  work();
  return {ThreadSeconds() - cpu,
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

// The run of median processor time of up to five; fewer when one run is slow.
Time Median(const std::function<void()>& work) {
  std::vector<Time> runs = {Seconds(work)};
  const int more = runs[0].cpu > 20 ? 0 : runs[0].cpu > 2 ? 2 : 4;
  for (int i = 0; i < more; ++i) runs.push_back(Seconds(work));
  std::sort(runs.begin(), runs.end(), [](Time a, Time b) { return a.cpu < b.cpu; });
  return runs[runs.size() / 2];
}

double PeakResidentMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::string Slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct Files {
  std::filesystem::path pdb, conect, cif, auditedCif;
};

Files Write(const ScratchDir& folder, int32_t atoms) {
  const ProteinStructure protein = MakeProtein(atoms);
  const std::string stem = (folder.path() / ("protein" + std::to_string(atoms))).string();
  Files f{stem + ".pdb", stem + "-conect.pdb", stem + ".cif", stem + "-audited.cif"};
  WritePdbFile(f.pdb, protein, false);
  WritePdbFile(f.conect, protein, true);
  WriteMmcifFile(f.cif, protein);
  // As deposited files are: naming the dictionary they follow, which the document loader then
  // loads and checks the file against.
  std::string text = Slurp(f.cif);
  text.insert(text.find('\n') + 1, "_audit_conform.dict_name mmcif_pdbx.dic\n");
  std::ofstream(f.auditedCif, std::ios::binary) << text;
  return f;
}

size_t OpenBabelPdb(const std::string& bytes, const char* options) {
  OpenBabel::OBConversion conv;
  conv.SetInFormat("pdb");
  for (const char* o = options; *o; ++o) {
    conv.AddOption(std::string(1, *o).c_str(), OpenBabel::OBConversion::INOPTIONS);
  }
  std::istringstream in(bytes);
  OpenBabel::OBMol mol;
  conv.Read(&mol, &in);
  return mol.NumAtoms();
}

void Row(const char* what, int32_t atoms, Time t) {
  std::printf("  %-58s %7d atoms %8.3f s (clock %.3f s)\n", what, atoms, t.cpu, t.wall);
  std::fflush(stdout);
}

void Libraries(const ScratchDir& folder, const std::vector<int32_t>& sizes) {
  std::printf("The libraries' readers (file already in memory)\n");
  std::ostringstream nowhere;
  OpenBabel::obErrorLog.SetOutputStream(&nowhere);
  cif::VERBOSE = -1;
  for (int32_t n : sizes) {
    const Files f = Write(folder, n);
    const std::string pdb = Slurp(f.pdb);
    const std::string conect = Slurp(f.conect);
    const std::string cif = Slurp(f.cif);
    const std::string audited = Slurp(f.auditedCif);
    Row("Open Babel PDB, its own bonding", n, Median([&] { OpenBabelPdb(pdb, ""); }));
    Row("Open Babel PDB, no bonding, single bonds (-ab -as)", n,
        Median([&] { OpenBabelPdb(pdb, "bs"); }));
    // Its CONECT records are looked up by walking every atom: past 30,000 atoms with every bond
    // listed a run takes many minutes, and it is left out.
    if (n <= 30000) {
      Row("Open Babel PDB with CONECT, its own bonding", n,
          Median([&] { OpenBabelPdb(conect, ""); }));
      Row("Open Babel PDB with CONECT, -ab -as", n, Median([&] { OpenBabelPdb(conect, "bs"); }));
    }
    Row("libcifpp PDB (cif::pdb::read)", n, Median([&] {
          std::istringstream in(pdb);
          cif::pdb::read(in);
        }));
    Row("libcifpp PDB with CONECT (records dropped)", n, Median([&] {
          std::istringstream in(conect);
          cif::pdb::read(in);
        }));
    Row("libcifpp mmCIF document (cif::file)", n,
        Median([&] { cif::file doc(cif.data(), cif.size()); }));
    Row("libcifpp mmCIF document naming its dictionary", n,
        Median([&] { cif::file doc(audited.data(), audited.size()); }));
    Row("libcifpp mmCIF events, atom_site only (ReadMmcifMolecule)", n,
        Median([&] { ReadMmcifMolecule(audited); }));
  }
}

// A form as kestrel-render sets it up, with the frame sized.
struct Form {
  HeadlessControls controls;
  TForm1 form{controls};
  Form() {
    controls.Attach(&form);
    form.FormResize(kFrameWidth + FrameWidthAllowance, kFrameHeight + FrameHeightAllowance);
  }
};

void Open(const ScratchDir& folder, const std::vector<int32_t>& sizes) {
  std::printf("ReadMolecule to the first frame (%d x %d, fill circles), and its parts\n",
              kFrameWidth, kFrameHeight);
  for (int32_t n : sizes) {
    const Files f = Write(folder, n);
    for (const auto& [label, path] : {std::pair<const char*, std::filesystem::path>{"PDB", f.pdb},
                                      {"PDB with CONECT", f.conect},
                                      {"mmCIF naming its dictionary", f.auditedCif}}) {
      const std::string file = path.string();
      const double before = PeakResidentMegabytes();
      const Time whole = Median([&] {
        Form form;
        form.form.AdoptScene(ReadMolecule(file));
        if (!form.controls.Messages.empty())
          std::printf("  message: %s\n", form.controls.Messages[0].c_str());
      });
      const double growth = PeakResidentMegabytes() - before;
      std::printf("  %-28s %7d atoms: first frame %.3f s (clock %.3f s; peak memory +%.0f MB)\n",
                  label, n, whole.cpu, whole.wall, growth);

      const FileContents bytes = ReadFileBytes(file, kMaxMoleculeFileBytes);
      const std::string_view text = bytes.Text();
      const bool pdb = path.extension() == ".pdb";
      Molecule molecule;
      const Time read = Median([&] {
        molecule = pdb ? ReadBabelMolecule(text, BabelFormat::Pdb, "PDB") : ReadMmcifMolecule(text);
      });
      std::vector<uint8_t> all(molecule.Atoms.size(), 1);
      const Time perceive = Median([&] {
        std::vector<std::array<int32_t, 2>> bonds;
        PerceiveBonds(molecule.Atoms, all, bonds);
      });
      SceneData scene;
      const Time build = Median([&] { scene = MoleculeScene(molecule, file); });
      const Time frame = Median([&] {
        Form form;
        SceneData copy = scene;
        form.form.AdoptScene(std::move(copy));
      });
      std::printf(
          "    file %.3f s, library and bonds %.3f s (bonds from distances alone %.3f s), "
          "scene %.3f s, fit and frame %.3f s; %zu atoms, %zu bonds, %zu segments\n",
          Seconds([&] { ReadFileBytes(file, kMaxMoleculeFileBytes); }).cpu, read.cpu, perceive.cpu,
          build.cpu, frame.cpu, molecule.Atoms.size(), molecule.Bonds.size(),
          scene.Segments.size());
    }
  }
}

double FrameMilliseconds(TForm1& form) {
  std::vector<double> frames;
  for (int i = 0; i < 41; ++i) {
    frames.push_back(Seconds([&] {
                       form.RotateCam(1, 0.02);
                       form.RotateCam(0, 0.013);
                       form.Render();
                     }).cpu);
  }
  std::sort(frames.begin(), frames.end());
  return frames[frames.size() / 2] * 1000;
}

void Frames(const ScratchDir& folder, const std::vector<int32_t>& sizes) {
  std::printf("Frames while turning (%d x %d, anti-aliasing and fade on), median of 41\n",
              kFrameWidth, kFrameHeight);
  for (int32_t n : sizes) {
    const Files f = Write(folder, n);
    for (const auto& [label, path] :
         {std::pair<const char*, std::filesystem::path>{"PDB", f.pdb}, {"mmCIF", f.cif}}) {
      Form form;
      form.form.AdoptScene(ReadMolecule(path.string()));
      const double filled = FrameMilliseconds(form.form);
      form.controls.ClickCheckBox(6);
      const double hollow = FrameMilliseconds(form.form);
      std::printf("  %-6s %7d atoms, %7d segments: %.1f ms a frame (circles hollow: %.1f ms)\n",
                  label, n, form.form.SegmentCount, filled, hollow);
      if (std::string(label) == "PDB") {
        Form lines;
        MakeRandomLines(lines.form, form.form.SegmentCount, 11);
        std::printf("  %-6s %7s        %7d random lines in a ball: %.1f ms a frame\n", "", "",
                    lines.form.SegmentCount, FrameMilliseconds(lines.form));
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string part = argc > 1 ? argv[1] : "all";
  std::vector<int32_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {10000, 30000, 100000};
  ScratchDir folder;
  if (part == "libraries" || part == "all") Libraries(folder, sizes);
  if (part == "open" || part == "all") Open(folder, sizes);
  if (part == "frames" || part == "all") Frames(folder, sizes);
  return 0;
}
