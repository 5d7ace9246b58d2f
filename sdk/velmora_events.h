/* Velmora guest SDK: events services. */
#ifndef VELMORA_EVENTS_H
#define VELMORA_EVENTS_H

#include "velmora_gate.h"

#endif
