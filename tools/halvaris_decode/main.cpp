#include <string>
#include <vector>

#include "decode_tool.h"
#include "input_file.h"

int main(int argc, char** argv) {
  halvaris::media::UseBinaryStandardStreams();
  halvaris::decode_tool::StopCleanlyOnInterrupt(stderr);
  return halvaris::decode_tool::RunDecodeTool(std::vector<std::string>(argv + 1, argv + argc),
                                              stderr);
}
