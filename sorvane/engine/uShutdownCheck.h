#pragma once
// The rule behind the destructors of Sorvane's device threads: the class that was constructed
// (the leaf) calls Shutdown() first in its own destructor, while its overrides and members still
// exist. A base destructor is too late: by then the thread may still be inside an override whose
// object is half gone. TShutdownCheck makes a class that breaks the rule stop the program at once
// with a message, in every build, instead of leaving a race for the sanitizers to find.

#include <typeinfo>

namespace sorvane {

class TShutdownCheck {
public:
  explicit TShutdownCheck(const char* base) : Base(base) {}

  // The thread starts running on an object whose complete type is `leaf` (typeid(*this) outside
  // construction and destruction).
  void Started(const std::type_info& leaf) { Leaf = &leaf; }
  // The first Shutdown() of the object, inside the destructor of `current`: stops the program
  // when the thread has run on a type further derived, whose destructor did not call it.
  void ShuttingDown(const std::type_info& current);
  // In the base destructor: stops the program when Shutdown() never ran.
  void Verify() const;

private:
  [[noreturn]] void Fail(const char* leafName) const;

  const char* Base;
  const std::type_info* Leaf = nullptr;
  bool Done = false;
};

} // namespace sorvane
