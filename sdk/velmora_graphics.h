/* Velmora guest SDK: graphics services. */
#ifndef VELMORA_GRAPHICS_H
#define VELMORA_GRAPHICS_H

#include "velmora_gate.h"

#endif
