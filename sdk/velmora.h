/* Velmora guest SDK: typed C functions for every host service. Include this one header. */
#ifndef VELMORA_H
#define VELMORA_H

#include "velmora_desktop.h"
#include "velmora_events.h"
#include "velmora_files.h"
#include "velmora_gate.h"
#include "velmora_graphics.h"
#include "velmora_images.h"
#include "velmora_math.h"
#include "velmora_serial.h"
#include "velmora_strings.h"
#include "velmora_system.h"
#include "velmora_text.h"

#endif
