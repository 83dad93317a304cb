#pragma once

// COM on the calling thread for as long as an instance lives. Nebulor's one
// user-interface thread joins a single-threaded apartment; if the thread is
// already in COM (Qt initialises OLE on Windows), that apartment is used and
// left alone at the end. Every automation object keeps the apartment alive,
// so COM is never shut down under an interface still held.
namespace nebulor::camera::maxim {

class ComApartment {
 public:
  ComApartment();  // throws AutomationError when COM cannot start
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool joined_ = false;  // this instance's CoInitializeEx must be balanced
};

}  // namespace nebulor::camera::maxim
