/* Velmora guest SDK: serial services. */
#ifndef VELMORA_SERIAL_H
#define VELMORA_SERIAL_H

#include "velmora_gate.h"

#endif
