// Inside the JIT engine (jit_engine.cpp): what the other engines' code needs of it.
#pragma once

namespace velmora {

// Drops every translated block (ForgetDecodedProgram calls it).
void ForgetTranslatedProgram();

}  // namespace velmora
