#include <exception>
#include <iostream>
#include <string>

#include "tapwright.h"

int main(int argc, char** argv) {
  // The console window closes with the program, so even an unexpected failure is told in one
  // line and waits for Enter; the exit code stays 0 as on every other path.
  try {
    return halvaris::aperture::RunTapwright(argc, argv, std::cin, std::cout);
  } catch (const std::exception& failure) {
    std::cout << "\nTapwright stopped: " << failure.what() << "\nPress enter key to exit. ";
  } catch (...) {
    std::cout << "\nTapwright stopped.\nPress enter key to exit. ";
  }
  std::cout.flush();
  std::string line;
  std::getline(std::cin, line);
  return 0;
}
