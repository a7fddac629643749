// Operations on the calling thread.
#ifndef MOD_THIS_THREAD_H
#define MOD_THIS_THREAD_H

class ModThisThread {
 public:
  // Blocks the calling thread for at least `milliseconds` (none when <= 0).
  static void sleep(int milliseconds);
};

#endif  // MOD_THIS_THREAD_H
