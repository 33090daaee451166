// A minimal Java VM for testing Nativa.dll without a JVM: classes with fields and methods,
// strings, arrays, references, exceptions and thread attachment, served through real
// JNIEnv/JavaVM function tables. Every table entry the host does not implement aborts with
// its slot number. The host also checks the rules a JVM relies on: no JNI call inside a
// critical region, no unsafe call while an exception is pending, every pinned string or array
// released. Breaches are counted (Violations()) and printed.
#pragma once
#include <windows.h>
#include <jni.h>

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace host {

struct TClass;
struct TObject {
  TClass* cls = nullptr;
  virtual ~TObject() = default;
};
struct TField {
  std::string name, sig;
  int index;
};
struct TMethod {
  std::string name, sig;
  std::function<void(JNIEnv*, jobject)> body;
};
struct TClass : TObject {
  std::string name;
  std::deque<TField> fields;
  std::deque<TMethod> methods;
};
struct TInstance : TObject {
  std::vector<jvalue> values;
};
struct TString : TObject {
  std::u16string text;
};
struct TArray : TObject {
  char elem = 0;                 // 'B', 'I' or 'L'
  std::vector<char> bytes;       // primitive contents
  std::vector<jobject> objects;  // object contents
  size_t Length() const { return elem == 'L' ? objects.size() : bytes.size() / (elem == 'I' ? 4 : 1); }
};

struct TPendingException {
  std::string className;  // empty when none
  std::string message;
};

class TJvm {
 public:
  TJvm();
  ~TJvm();
  TJvm(const TJvm&) = delete;
  TJvm& operator=(const TJvm&) = delete;

  JNIEnv* Env() { return MainEnv(); }
  JavaVM* Vm();

  // Defines a class; fields are "name:sig" pairs. Exception classes are predefined.
  TClass* DefineClass(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields = {});
  void DefineMethod(TClass* cls, const std::string& name, const std::string& sig,
                    std::function<void(JNIEnv*, jobject)> body);
  jobject NewInstance(TClass* cls);
  jstring NewString(const std::u16string& text);
  jbyteArray NewByteArray(size_t n);
  jintArray NewIntArray(size_t n);

  jvalue& Field(jobject obj, const std::string& name);
  std::u16string Text(jobject str);  // "" for null
  std::string Utf8(jobject str);     // the string as (ASCII-range) bytes
  std::vector<char>& Bytes(jarray a);
  jint* Ints(jintArray a) { return reinterpret_cast<jint*>(Bytes(a).data()); }
  std::vector<jobject>& Objects(jobjectArray a);
  TClass* ClassOf(jobject obj) { return reinterpret_cast<TObject*>(obj)->cls; }

  // The pending exception of the main thread's environment, cleared.
  TPendingException TakeException();
  int Violations() const { return violations_; }
  int LiveGlobalRefs() const;
  int OpenPins() const;  // strings and arrays obtained and not yet released
  int attachCount = 0;
  int detachCount = 0;

  // Internal, used by the function tables.
  struct TEnv;
  TEnv* EnvOf(JNIEnv* env) { return reinterpret_cast<TEnv*>(env); }
  JNIEnv* MainEnv();
  JNIEnv* AttachThread();
  void DetachThread();
  void Violation(const char* what);
  std::recursive_mutex mutex;
  std::map<std::string, TClass*> classes;
  std::deque<TObject*> objects;
  std::map<jobject, int> globals, weaks;
  std::map<const void*, jarray> criticals, elements;
  std::map<const void*, jstring> stringChars, utfChars;
  std::map<DWORD, TEnv*> threadEnvs;
  TClass* stringClass = nullptr;
  TClass* classClass = nullptr;
  int violations_ = 0;

 private:
  template <class T>
  T* Track(T* obj) {
    objects.push_back(obj);
    return obj;
  }
  friend struct TFriend;
};

// Modified UTF-8 (as JNI uses it) from and to UTF-16.
std::string ToModifiedUtf8(const std::u16string& text);
std::u16string FromModifiedUtf8(const char* bytes);

}  // namespace host
