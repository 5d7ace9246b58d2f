/* Velmora guest SDK: strings services. */
#ifndef VELMORA_STRINGS_H
#define VELMORA_STRINGS_H

#include "velmora_gate.h"

#endif
