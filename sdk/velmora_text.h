/* Velmora guest SDK: text services. */
#ifndef VELMORA_TEXT_H
#define VELMORA_TEXT_H

#include "velmora_gate.h"

#endif
