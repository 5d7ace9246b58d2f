// Start-up assembles the service tables from the rows each subsystem declares.
#include <cstdio>
#include <cstdlib>

#include "graphics/graphics_services.h"
#include "host/host_services.h"
#include "io/io_services.h"
#include "services/arith_services.h"
#include "text/string_services.h"

namespace velmora {

bool InstallServiceTables(std::string* problem) {
  ClearServiceTables();
  const std::span<const ServiceRow> subsystems[] = {
      EventServiceRows(),  CanvasServiceRows(),     DrawingServiceRows(), TextServiceRows(),
      ImageServiceRows(),  StringServiceRows(),     SystemServiceRows(),  FileServiceRows(),
      SerialServiceRows(), ArithmeticServiceRows(), WindowServiceRows(),  KeyboardServiceRows(),
      DialogServiceRows(),
  };
  for (const std::span<const ServiceRow> rows : subsystems)
    if (!InstallServices(rows, problem)) return false;
  return true;
}

void InstallAllServices() {
  std::string problem;
  if (InstallServiceTables(&problem)) return;
  std::fprintf(stderr, "velmora: %s\n", problem.c_str());
  std::exit(70);
}

}  // namespace velmora
