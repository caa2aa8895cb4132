#pragma once

#include "receive/SearchCache.h"

#include <QSemaphore>

#include <atomic>

/// Holds a search cache's reading after the first file it reads until let
/// go, so a test sees the cache halfway through its folders. Set up before
/// the cache's folders are.
struct SearchGate {
    explicit SearchGate(SearchCache &cache)
    {
        cache.setPublishInterval(0);
        cache.setAfterEachFile([this] {
            if (files++ == 0) {
                reached.release();
                letGo.tryAcquire(1, 20000);
            }
        });
    }
    QSemaphore reached, letGo;
    std::atomic<int> files = 0;
};
