// Runs a fuzz target once on every input it is given: files, or every file
// in a directory. A sanitizer build without libFuzzer links this in place
// of libFuzzer's driver to replay the seed corpora as a test. Each input is
// copied into a buffer of exactly its size, so a read past its end is
// caught by AddressSanitizer as it would be under libFuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Not every target has one.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc,
                                                          char*** argv);

namespace {

namespace fs = std::filesystem;

// The files named, a directory standing for its files in name order; false
// when an argument names nothing readable.
bool collectInputs(int argc, char** argv, std::vector<fs::path>* inputs) {
  for (int i = 1; i < argc; ++i) {
    const fs::path path(argv[i]);
    std::error_code error;
    if (fs::is_directory(path, error)) {
      std::vector<fs::path> files;
      for (const fs::directory_entry& entry :
           fs::directory_iterator(path, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
      std::sort(files.begin(), files.end());
      inputs->insert(inputs->end(), files.begin(), files.end());
    } else if (fs::is_regular_file(path, error)) {
      inputs->push_back(path);
    } else {
      std::fprintf(stderr, "replay: no such file or directory: %s\n", argv[i]);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  if (!collectInputs(argc, argv, &inputs)) return 2;
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s file-or-directory...\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize != nullptr &&
      LLVMFuzzerInitialize(&argc, &argv) != 0) {
    std::fprintf(stderr, "replay: the target's initialisation failed\n");
    return 1;
  }
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
      std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
      return 1;
    }
    std::printf("replay %s (%zu bytes)\n", input.c_str(), bytes.size());
    std::fflush(stdout);
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
  }
  std::printf("replay: %zu inputs, no finding\n", inputs.size());
  return 0;
}
