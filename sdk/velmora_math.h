/* Velmora guest SDK: math services. */
#ifndef VELMORA_MATH_H
#define VELMORA_MATH_H

#include "velmora_gate.h"

#endif
