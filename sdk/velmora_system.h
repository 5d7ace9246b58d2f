/* Velmora guest SDK: system services. */
#ifndef VELMORA_SYSTEM_H
#define VELMORA_SYSTEM_H

#include "velmora_gate.h"

#endif
