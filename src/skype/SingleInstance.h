#pragma once
// The one process-wide object of a class: made on first use, destroyed by its
// owner. GUI thread only, like every user of these objects.
template <typename T>
class CSingleInstance {
public:
    static T* Get() {
        if (!s_pInstance) s_pInstance = new T();
        return s_pInstance;
    }
    static void Destroy() {
        delete s_pInstance;
        s_pInstance = nullptr;
    }

private:
    static inline T* s_pInstance = nullptr;
};
