// A stand-in for the imaging application's COM server: an out-of-process
// server that serves Nebulor's simulator under the imaging application's
// ProgIDs (and under one pair of ProgIDs per fault scenario).
//   nebulor_fake_maxim /RegServer     registers the classes under HKLM (under wine only)
//   nebulor_fake_maxim /UnregServer   removes them
//   nebulor_fake_maxim -Embedding     serves (COM starts it so)
// Each client session gets a fresh simulator: the objects created while no
// object of that scenario lives share one. The server ends when no object
// has lived for a short while.

// clang-format off
#include <windows.h>  // first: the COM headers build on it
#include <objbase.h>
#include <oleauto.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FakeMaximScenarios.h"
#include "SimDispatch.h"
#include "camera/sim/SimServer.h"
#include "camera/sim/SimSettings.h"

namespace nebulor::testing {
namespace {

constexpr auto kIdleEnd = std::chrono::seconds(1);      // no object left: end after this
constexpr auto kUnusedEnd = std::chrono::seconds(30);   // started but never used
constexpr auto kLongestLife = std::chrono::minutes(5);  // a client that died holding objects

int liveObjects = 0;

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring classText(const CLSID& id) {
  wchar_t text[64];
  StringFromGUID2(id, text, 64);
  return text;
}

// One simulated imaging application shared by the objects of a session.
struct Session {
  explicit Session(const std::string& settings) : server(camera::sim::parseSimSettings(settings)) {}
  camera::sim::SimServer server;
};

class Scenario {
 public:
  explicit Scenario(const FakeMaximScenario& description) : description_(description) {}

  IDispatch* newApplication() {
    auto application = std::shared_ptr<camera::Application>(session()->server.createApplication());
    return newApplicationDispatch(withSession(std::move(application)), liveObjects);
  }
  IDispatch* newCamera() {
    auto camera = std::shared_ptr<camera::Camera>(session()->server.createCamera());
    return newCameraDispatch(withSession(std::move(camera)), liveObjects);
  }
  const FakeMaximScenario& description() const { return description_; }

 private:
  std::shared_ptr<Session> session() {
    std::shared_ptr<Session> current = session_.lock();
    if (!current) {
      current = std::make_shared<Session>(description_.simSettings);
      session_ = current;
    }
    return current;
  }
  // An object keeps its session alive: the simulator outlives every object made from it.
  template <typename T>
  std::shared_ptr<T> withSession(std::shared_ptr<T> object) {
    auto keep = std::make_shared<std::pair<std::shared_ptr<Session>, std::shared_ptr<T>>>(session(), object);
    return std::shared_ptr<T>(keep, keep->second.get());
  }

  const FakeMaximScenario& description_;
  std::weak_ptr<Session> session_;
};

class ClassFactory : public IClassFactory {
 public:
  ClassFactory(Scenario& scenario, bool camera) : scenario_(scenario), camera_(camera) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // Factories live as long as the server.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      IDispatch* created = camera_ ? scenario_.newCamera() : scenario_.newApplication();
      const HRESULT hr = created->QueryInterface(iid, object);
      created->Release();
      return hr;
    } catch (const std::exception&) {
      return E_FAIL;  // bad simulator settings in the scenario table
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    liveObjects += lock ? 1 : -1;
    return S_OK;
  }

 private:
  Scenario& scenario_;
  bool camera_;
};

bool setKey(const std::wstring& path, const wchar_t* valueName, const std::wstring& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const bool ok = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 bytes) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

const std::wstring kClasses = L"Software\\Classes\\";

// Registration takes the imaging application's own ProgIDs, so it is done
// only in a wine prefix, never over a real installation.
bool underWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

int registerClasses() {
  if (!underWine()) {
    std::fprintf(stderr,
                 "fake imaging application: registers only under wine, never over the real application\n");
    return 1;
  }
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring command = L"\"" + std::wstring(path) + L"\"";
  bool ok = true;
  for (const FakeMaximScenario& scenario : fakeMaximScenarios()) {
    const std::pair<std::string, CLSID> classes[] = {{scenario.applicationProgId, scenario.applicationClass},
                                                     {scenario.cameraProgId, scenario.cameraClass}};
    for (const auto& [progId, id] : classes) {
      const std::wstring clsid = classText(id);
      ok = setKey(kClasses + wide(progId) + L"\\CLSID", nullptr, clsid) &&
           setKey(kClasses + L"CLSID\\" + clsid, nullptr, L"Nebulor fake imaging application") &&
           setKey(kClasses + L"CLSID\\" + clsid + L"\\ProgID", nullptr, wide(progId)) &&
           setKey(kClasses + L"CLSID\\" + clsid + L"\\LocalServer32", nullptr, command) && ok;
    }
  }
  if (!ok) std::fprintf(stderr, "fake imaging application: the classes could not be registered\n");
  return ok ? 0 : 1;
}

int unregisterClasses() {
  for (const FakeMaximScenario& scenario : fakeMaximScenarios()) {
    for (const auto& [progId, id] : {std::pair{scenario.applicationProgId, scenario.applicationClass},
                                     std::pair{scenario.cameraProgId, scenario.cameraClass}}) {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kClasses + wide(progId)).c_str());
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kClasses + L"CLSID\\" + classText(id)).c_str());
    }
  }
  return 0;
}

int serve() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  std::vector<std::unique_ptr<Scenario>> scenarios;
  std::vector<std::unique_ptr<ClassFactory>> factories;
  std::vector<DWORD> cookies;
  for (const FakeMaximScenario& description : fakeMaximScenarios()) {
    scenarios.push_back(std::make_unique<Scenario>(description));
    for (const bool camera : {false, true}) {
      factories.push_back(std::make_unique<ClassFactory>(*scenarios.back(), camera));
      DWORD cookie = 0;
      const CLSID& id = camera ? description.cameraClass : description.applicationClass;
      if (SUCCEEDED(CoRegisterClassObject(id, factories.back().get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie))) {
        cookies.push_back(cookie);
      }
    }
  }

  using Clock = std::chrono::steady_clock;
  bool used = false;
  const auto started = Clock::now();
  auto idleSince = started;
  SetTimer(nullptr, 0, 200, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) {
      const auto now = Clock::now();
      if (now - started > kLongestLife) break;
      if (liveObjects > 0) {
        used = true;
        idleSince = now;
      } else if (now - idleSince > (used ? kIdleEnd : kUnusedEnd)) {
        break;
      }
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  for (const DWORD cookie : cookies) CoRevokeClassObject(cookie);
  CoUninitialize();
  return 0;
}

}  // namespace
}  // namespace nebulor::testing

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* option = argv[i];
    if (*option == '/' || *option == '-') ++option;
    if (_stricmp(option, "RegServer") == 0) return nebulor::testing::registerClasses();
    if (_stricmp(option, "UnregServer") == 0) return nebulor::testing::unregisterClasses();
    if (_stricmp(option, "Embedding") == 0) return nebulor::testing::serve();
  }
  std::fprintf(stderr, "usage: nebulor_fake_maxim /RegServer | /UnregServer | -Embedding\n");
  return 2;
}
