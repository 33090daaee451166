#include "JniHost.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace host {

struct TJvm::TEnv {
  const JNINativeInterface_* functions;  // must come first: JNIEnv is this struct to natives
  TJvm* jvm;
  DWORD thread;
  TPendingException pending;
};

namespace {

TJvm* gJvm = nullptr;
JNINativeInterface_ gEnvTable;
JNIInvokeInterface_ gVmTable;
struct THostVm {
  const JNIInvokeInterface_* functions;
} gVm = {&gVmTable};

template <int N>
void JNICALL Unimplemented() {
  std::fprintf(stderr, "JNI host: unimplemented function table entry %d called\n", N);
  std::fflush(stderr);
  std::abort();
}
template <int... N>
void FillUnimplemented(void** slots, std::integer_sequence<int, N...>) {
  ((slots[N] = reinterpret_cast<void*>(&Unimplemented<N>)), ...);
}

TJvm& J(JNIEnv* env) { return *reinterpret_cast<TJvm::TEnv*>(env)->jvm; }
TPendingException& Pending(JNIEnv* env) { return reinterpret_cast<TJvm::TEnv*>(env)->pending; }

// Checks that precede every call that is unsafe inside a critical region or with an
// exception pending.
void Enter(JNIEnv* env, const char* what, bool allowedWithException = false) {
  TJvm& jvm = J(env);
  if (!jvm.criticals.empty()) {
    std::fprintf(stderr, "JNI host: %s inside a critical region\n", what);
    jvm.Violation(what);
  }
  if (!allowedWithException && !Pending(env).className.empty()) {
    std::fprintf(stderr, "JNI host: %s with exception %s pending\n", what, Pending(env).className.c_str());
    jvm.Violation(what);
  }
}

void Raise(JNIEnv* env, const std::string& cls, const std::string& msg) {
  Pending(env).className = cls;
  Pending(env).message = msg;
}

template <class T>
T* As(jobject o) {
  return dynamic_cast<T*>(reinterpret_cast<TObject*>(o));
}

TInstance* Inst(JNIEnv* env, jobject o, const char* what) {
  TInstance* inst = As<TInstance>(o);
  if (!inst) {
    std::fprintf(stderr, "JNI host: %s on a null or non-instance object\n", what);
    std::abort();
  }
  (void)env;
  return inst;
}

TField* Fid(jfieldID id) { return reinterpret_cast<TField*>(id); }

jclass JNICALL FindClass(JNIEnv* env, const char* name) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "FindClass");
  auto it = J(env).classes.find(name);
  if (it == J(env).classes.end()) {
    Raise(env, "java/lang/NoClassDefFoundError", name);
    return nullptr;
  }
  return reinterpret_cast<jclass>(static_cast<TObject*>(it->second));
}

jclass JNICALL GetObjectClass(JNIEnv* env, jobject obj) {
  Enter(env, "GetObjectClass");
  if (!obj) std::abort();
  return reinterpret_cast<jclass>(static_cast<TObject*>(reinterpret_cast<TObject*>(obj)->cls));
}

jobject JNICALL AllocObject(JNIEnv* env, jclass cls) {
  Enter(env, "AllocObject");
  return J(env).NewInstance(As<TClass>(cls));
}

jfieldID JNICALL GetFieldID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetFieldID");
  for (TField& f : As<TClass>(cls)->fields)
    if (f.name == name && f.sig == sig) return reinterpret_cast<jfieldID>(&f);
  Raise(env, "java/lang/NoSuchFieldError", name);
  return nullptr;
}

jmethodID JNICALL GetMethodID(JNIEnv* env, jclass cls, const char* name, const char* sig) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetMethodID");
  for (TMethod& m : As<TClass>(cls)->methods)
    if (m.name == name && m.sig == sig) return reinterpret_cast<jmethodID>(&m);
  Raise(env, "java/lang/NoSuchMethodError", name);
  return nullptr;
}

jint JNICALL GetIntField(JNIEnv* env, jobject obj, jfieldID id) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetIntField");
  return Inst(env, obj, "GetIntField")->values[Fid(id)->index].i;
}
void JNICALL SetIntField(JNIEnv* env, jobject obj, jfieldID id, jint v) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "SetIntField");
  Inst(env, obj, "SetIntField")->values[Fid(id)->index].i = v;
}
void JNICALL SetLongField(JNIEnv* env, jobject obj, jfieldID id, jlong v) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "SetLongField");
  Inst(env, obj, "SetLongField")->values[Fid(id)->index].j = v;
}
void JNICALL SetBooleanField(JNIEnv* env, jobject obj, jfieldID id, jboolean v) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "SetBooleanField");
  Inst(env, obj, "SetBooleanField")->values[Fid(id)->index].z = v;
}
void JNICALL SetObjectField(JNIEnv* env, jobject obj, jfieldID id, jobject v) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "SetObjectField");
  Inst(env, obj, "SetObjectField")->values[Fid(id)->index].l = v;
}

void JNICALL CallVoidMethod(JNIEnv* env, jobject obj, jmethodID id, ...) {
  Enter(env, "CallVoidMethod");
  TMethod* m = reinterpret_cast<TMethod*>(id);
  if (!obj || !m) std::abort();
  m->body(env, obj);
}

// The C++ JNIEnv wrapper forwards CallVoidMethod to the va_list form.
void JNICALL CallVoidMethodV(JNIEnv* env, jobject obj, jmethodID id, va_list) {
  Enter(env, "CallVoidMethodV");
  TMethod* m = reinterpret_cast<TMethod*>(id);
  if (!obj || !m) std::abort();
  m->body(env, obj);
}

jstring JNICALL NewString(JNIEnv* env, const jchar* chars, jsize len) {
  Enter(env, "NewString");
  return J(env).NewString(std::u16string(reinterpret_cast<const char16_t*>(chars), len));
}
jsize JNICALL GetStringLength(JNIEnv* env, jstring s) {
  Enter(env, "GetStringLength");
  return static_cast<jsize>(As<TString>(s)->text.size());
}
const jchar* JNICALL GetStringChars(JNIEnv* env, jstring s, jboolean* isCopy) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetStringChars");
  const std::u16string& t = As<TString>(s)->text;
  // A copy without a terminating zero, as a JVM may give it.
  jchar* copy = static_cast<jchar*>(std::malloc((t.size() + 1) * sizeof(jchar)));
  std::memcpy(copy, t.data(), t.size() * sizeof(jchar));
  copy[t.size()] = 0xFFFF;
  if (isCopy) *isCopy = JNI_TRUE;
  J(env).stringChars[copy] = s;
  return copy;
}
void JNICALL ReleaseStringChars(JNIEnv* env, jstring s, const jchar* chars) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  auto it = J(env).stringChars.find(chars);
  if (it == J(env).stringChars.end() || it->second != s) J(env).Violation("ReleaseStringChars of unknown chars");
  else J(env).stringChars.erase(it);
  std::free(const_cast<jchar*>(chars));
}
jstring JNICALL NewStringUTF(JNIEnv* env, const char* bytes) {
  Enter(env, "NewStringUTF");
  if (!bytes) return nullptr;
  return J(env).NewString(FromModifiedUtf8(bytes));
}
jsize JNICALL GetStringUTFLength(JNIEnv* env, jstring s) {
  Enter(env, "GetStringUTFLength");
  return static_cast<jsize>(ToModifiedUtf8(As<TString>(s)->text).size());
}
const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring s, jboolean* isCopy) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetStringUTFChars");
  if (!s) {
    std::fprintf(stderr, "JNI host: GetStringUTFChars(null) crashes a real JVM\n");
    std::abort();
  }
  std::string u = ToModifiedUtf8(As<TString>(s)->text);
  char* copy = static_cast<char*>(std::malloc(u.size() + 1));
  std::memcpy(copy, u.c_str(), u.size() + 1);
  if (isCopy) *isCopy = JNI_TRUE;
  J(env).utfChars[copy] = s;
  return copy;
}
void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring s, const char* chars) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  auto it = J(env).utfChars.find(chars);
  if (it == J(env).utfChars.end() || it->second != s) J(env).Violation("ReleaseStringUTFChars of unknown chars");
  else J(env).utfChars.erase(it);
  std::free(const_cast<char*>(chars));
}

jsize JNICALL GetArrayLength(JNIEnv* env, jarray a) {
  Enter(env, "GetArrayLength");
  if (!a) {
    std::fprintf(stderr, "JNI host: GetArrayLength(null) crashes a real JVM\n");
    std::abort();
  }
  return static_cast<jsize>(As<TArray>(a)->Length());
}
jobjectArray JNICALL NewObjectArray(JNIEnv* env, jsize n, jclass cls, jobject init) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "NewObjectArray");
  TArray* a = new TArray;
  a->elem = 'L';
  a->cls = As<TClass>(cls);  // element class stands for the array class here
  a->objects.assign(n, init);
  J(env).objects.push_back(a);
  return reinterpret_cast<jobjectArray>(static_cast<TObject*>(a));
}
jobject JNICALL GetObjectArrayElement(JNIEnv* env, jobjectArray a, jsize i) {
  Enter(env, "GetObjectArrayElement");
  return As<TArray>(a)->objects.at(i);
}
void JNICALL SetObjectArrayElement(JNIEnv* env, jobjectArray a, jsize i, jobject v) {
  Enter(env, "SetObjectArrayElement");
  TArray* arr = As<TArray>(a);
  if (i < 0 || static_cast<size_t>(i) >= arr->objects.size()) {
    Raise(env, "java/lang/ArrayIndexOutOfBoundsException", "");
    return;
  }
  arr->objects[i] = v;
}

// Element and critical access hand out copies, so that a missing or wrong release shows.
void* Pin(JNIEnv* env, jarray a, std::map<const void*, jarray>& table) {
  std::vector<char>& bytes = As<TArray>(a)->bytes;
  void* copy = std::malloc(bytes.size() + 1);
  if (!bytes.empty()) std::memcpy(copy, bytes.data(), bytes.size());
  table[copy] = a;
  (void)env;
  return copy;
}
void Unpin(JNIEnv* env, jarray a, void* data, jint mode, std::map<const void*, jarray>& table) {
  auto it = table.find(data);
  if (it == table.end() || it->second != a) {
    J(env).Violation("release of an array that was not obtained");
    return;
  }
  std::vector<char>& bytes = As<TArray>(a)->bytes;
  if (mode != JNI_ABORT && !bytes.empty()) std::memcpy(bytes.data(), data, bytes.size());
  if (mode != JNI_COMMIT) {
    table.erase(it);
    std::free(data);
  }
}
jint* JNICALL GetIntArrayElements(JNIEnv* env, jintArray a, jboolean* isCopy) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetIntArrayElements");
  if (isCopy) *isCopy = JNI_TRUE;
  return static_cast<jint*>(Pin(env, a, J(env).elements));
}
void JNICALL ReleaseIntArrayElements(JNIEnv* env, jintArray a, jint* data, jint mode) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Unpin(env, a, data, mode, J(env).elements);
}
void* JNICALL GetPrimitiveArrayCritical(JNIEnv* env, jarray a, jboolean* isCopy) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "GetPrimitiveArrayCritical");
  if (!a) {
    std::fprintf(stderr, "JNI host: GetPrimitiveArrayCritical(null) crashes a real JVM\n");
    std::abort();
  }
  if (isCopy) *isCopy = JNI_TRUE;
  return Pin(env, a, J(env).criticals);
}
void JNICALL ReleasePrimitiveArrayCritical(JNIEnv* env, jarray a, void* data, jint mode) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Unpin(env, a, data, mode, J(env).criticals);
}

jobject JNICALL NewGlobalRef(JNIEnv* env, jobject o) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "NewGlobalRef");
  if (o) ++J(env).globals[o];
  return o;
}
void JNICALL DeleteGlobalRef(JNIEnv* env, jobject o) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  if (!o) return;
  auto it = J(env).globals.find(o);
  if (it == J(env).globals.end()) return J(env).Violation("DeleteGlobalRef of no global reference");
  if (--it->second == 0) J(env).globals.erase(it);
}
jweak JNICALL NewWeakGlobalRef(JNIEnv* env, jobject o) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  Enter(env, "NewWeakGlobalRef");
  if (o) ++J(env).weaks[o];
  return o;
}
void JNICALL DeleteWeakGlobalRef(JNIEnv* env, jweak o) {
  std::lock_guard<std::recursive_mutex> lock(J(env).mutex);
  if (o) --J(env).weaks[o];
}
jobject JNICALL NewLocalRef(JNIEnv* env, jobject o) {
  Enter(env, "NewLocalRef");
  return o;
}
void JNICALL DeleteLocalRef(JNIEnv*, jobject) {}

jint JNICALL ThrowNew(JNIEnv* env, jclass cls, const char* msg) {
  Enter(env, "ThrowNew");
  Raise(env, As<TClass>(cls)->name, msg ? msg : "");
  return 0;
}
jboolean JNICALL ExceptionCheck(JNIEnv* env) { return Pending(env).className.empty() ? JNI_FALSE : JNI_TRUE; }
void JNICALL ExceptionClear(JNIEnv* env) { Pending(env) = TPendingException(); }
jint JNICALL GetJavaVM(JNIEnv* env, JavaVM** vm) {
  *vm = J(env).Vm();
  return JNI_OK;
}

jint JNICALL AttachCurrentThread(JavaVM*, void** penv, void*) {
  *penv = gJvm->AttachThread();
  return JNI_OK;
}
jint JNICALL DetachCurrentThread(JavaVM*) {
  gJvm->DetachThread();
  return JNI_OK;
}

jint JNICALL GetEnv(JavaVM*, void** penv, jint) {
  std::lock_guard<std::recursive_mutex> lock(gJvm->mutex);
  auto it = gJvm->threadEnvs.find(::GetCurrentThreadId());
  if (it == gJvm->threadEnvs.end()) {
    *penv = nullptr;
    return JNI_EDETACHED;
  }
  *penv = it->second;
  return JNI_OK;
}

void InitTables() {
  constexpr int kEnvSlots = sizeof(JNINativeInterface_) / sizeof(void*);
  constexpr int kVmSlots = sizeof(JNIInvokeInterface_) / sizeof(void*);
  FillUnimplemented(reinterpret_cast<void**>(&gEnvTable), std::make_integer_sequence<int, kEnvSlots>());
  FillUnimplemented(reinterpret_cast<void**>(&gVmTable), std::make_integer_sequence<int, kVmSlots>());
  JNINativeInterface_& t = gEnvTable;
  t.FindClass = FindClass;
  t.GetObjectClass = GetObjectClass;
  t.AllocObject = AllocObject;
  t.GetFieldID = GetFieldID;
  t.GetMethodID = GetMethodID;
  t.GetIntField = GetIntField;
  t.SetIntField = SetIntField;
  t.SetLongField = SetLongField;
  t.SetBooleanField = SetBooleanField;
  t.SetObjectField = SetObjectField;
  t.CallVoidMethod = CallVoidMethod;
  t.CallVoidMethodV = CallVoidMethodV;
  t.NewString = NewString;
  t.GetStringLength = GetStringLength;
  t.GetStringChars = GetStringChars;
  t.ReleaseStringChars = ReleaseStringChars;
  t.NewStringUTF = NewStringUTF;
  t.GetStringUTFLength = GetStringUTFLength;
  t.GetStringUTFChars = GetStringUTFChars;
  t.ReleaseStringUTFChars = ReleaseStringUTFChars;
  t.GetArrayLength = GetArrayLength;
  t.NewObjectArray = NewObjectArray;
  t.GetObjectArrayElement = GetObjectArrayElement;
  t.SetObjectArrayElement = SetObjectArrayElement;
  t.GetIntArrayElements = GetIntArrayElements;
  t.ReleaseIntArrayElements = ReleaseIntArrayElements;
  t.GetPrimitiveArrayCritical = GetPrimitiveArrayCritical;
  t.ReleasePrimitiveArrayCritical = ReleasePrimitiveArrayCritical;
  t.NewGlobalRef = NewGlobalRef;
  t.DeleteGlobalRef = DeleteGlobalRef;
  t.NewWeakGlobalRef = NewWeakGlobalRef;
  t.DeleteWeakGlobalRef = DeleteWeakGlobalRef;
  t.NewLocalRef = NewLocalRef;
  t.DeleteLocalRef = DeleteLocalRef;
  t.ThrowNew = ThrowNew;
  t.ExceptionCheck = ExceptionCheck;
  t.ExceptionClear = ExceptionClear;
  t.GetJavaVM = GetJavaVM;
  gVmTable.AttachCurrentThread = AttachCurrentThread;
  gVmTable.DetachCurrentThread = DetachCurrentThread;
  gVmTable.GetEnv = GetEnv;
}

}  // namespace

TJvm::TJvm() {
  if (gJvm) std::abort();
  gJvm = this;
  InitTables();
  classClass = DefineClass("java/lang/Class");
  stringClass = DefineClass("java/lang/String");
  for (const char* name : {"java/lang/NullPointerException", "java/lang/Exception", "java/io/IOException",
                           "java/lang/ArrayIndexOutOfBoundsException", "java/lang/OutOfMemoryError"})
    DefineClass(name);
}

TJvm::~TJvm() {
  for (auto& e : threadEnvs) delete e.second;
  for (TObject* o : objects) delete o;
  gJvm = nullptr;
}

JavaVM* TJvm::Vm() { return reinterpret_cast<JavaVM*>(&gVm); }

JNIEnv* TJvm::MainEnv() {
  static DWORD mainThread = ::GetCurrentThreadId();
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TEnv*& env = threadEnvs[mainThread];
  if (!env) env = new TEnv{&gEnvTable, this, mainThread, {}};
  return reinterpret_cast<JNIEnv*>(env);
}

JNIEnv* TJvm::AttachThread() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  ++attachCount;
  DWORD id = ::GetCurrentThreadId();
  TEnv*& env = threadEnvs[id];
  if (!env) env = new TEnv{&gEnvTable, this, id, {}};
  return reinterpret_cast<JNIEnv*>(env);
}

void TJvm::DetachThread() {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  ++detachCount;
  auto it = threadEnvs.find(::GetCurrentThreadId());
  if (it == threadEnvs.end()) return Violation("DetachCurrentThread on a thread that is not attached");
  if (!it->second->pending.className.empty()) Violation("thread detached with an exception pending");
  delete it->second;
  threadEnvs.erase(it);
}

void TJvm::Violation(const char* what) {
  std::fprintf(stderr, "JNI host violation: %s\n", what);
  ++violations_;
}

TClass* TJvm::DefineClass(const std::string& name, const std::vector<std::pair<std::string, std::string>>& fields) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TClass* c = Track(new TClass);
  c->cls = classClass;
  c->name = name;
  int i = 0;
  for (auto& f : fields) c->fields.push_back(TField{f.first, f.second, i++});
  classes[name] = c;
  return c;
}

void TJvm::DefineMethod(TClass* cls, const std::string& name, const std::string& sig,
                        std::function<void(JNIEnv*, jobject)> body) {
  cls->methods.push_back(TMethod{name, sig, std::move(body)});
}

jobject TJvm::NewInstance(TClass* cls) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TInstance* o = Track(new TInstance);
  o->cls = cls;
  o->values.assign(cls->fields.size(), jvalue{});
  return reinterpret_cast<jobject>(static_cast<TObject*>(o));
}

jstring TJvm::NewString(const std::u16string& text) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TString* s = Track(new TString);
  s->cls = stringClass;
  s->text = text;
  return reinterpret_cast<jstring>(static_cast<TObject*>(s));
}

jbyteArray TJvm::NewByteArray(size_t n) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TArray* a = Track(new TArray);
  a->elem = 'B';
  a->bytes.assign(n, 0);
  return reinterpret_cast<jbyteArray>(static_cast<TObject*>(a));
}

jintArray TJvm::NewIntArray(size_t n) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TArray* a = Track(new TArray);
  a->elem = 'I';
  a->bytes.assign(n * 4, 0);
  return reinterpret_cast<jintArray>(static_cast<TObject*>(a));
}

jvalue& TJvm::Field(jobject obj, const std::string& name) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  TInstance* inst = As<TInstance>(obj);
  for (TField& f : inst->cls->fields)
    if (f.name == name) return inst->values[f.index];
  std::abort();
}

std::u16string TJvm::Text(jobject str) { return str ? As<TString>(str)->text : std::u16string(); }

std::string TJvm::Utf8(jobject str) { return ToModifiedUtf8(Text(str)); }

std::vector<char>& TJvm::Bytes(jarray a) { return As<TArray>(a)->bytes; }

std::vector<jobject>& TJvm::Objects(jobjectArray a) { return As<TArray>(a)->objects; }

TPendingException TJvm::TakeException() {
  TPendingException p = EnvOf(MainEnv())->pending;
  EnvOf(MainEnv())->pending = TPendingException();
  return p;
}

int TJvm::LiveGlobalRefs() const {
  int n = 0;
  for (auto& g : globals) n += g.second;
  return n;
}

int TJvm::OpenPins() const {
  return static_cast<int>(criticals.size() + elements.size() + stringChars.size() + utfChars.size());
}

std::string ToModifiedUtf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c != 0 && c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {  // includes U+0000 as C0 80
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {  // surrogates are encoded one by one
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromModifiedUtf8(const char* bytes) {
  std::u16string out;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  while (*p) {
    if (*p < 0x80) {
      out += static_cast<char16_t>(*p++);
    } else if ((*p & 0xE0) == 0xC0 && p[1]) {
      out += static_cast<char16_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2;
    } else if ((*p & 0xF0) == 0xE0 && p[1] && p[2]) {
      out += static_cast<char16_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      p += 3;
    } else {
      out += u'\uFFFD';
      ++p;
    }
  }
  return out;
}

}  // namespace host
