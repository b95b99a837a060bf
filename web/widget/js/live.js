// Live updates from the host's event stream. Every resource change and every event the plugin
// publishes arrives as a server-sent event; the generic "OnJsonApiEvent" carries each resource
// change once, as {uri, eventType, data}. The browser reconnects by itself after a dropped
// connection; when it gives up (the host refused the stream), this tries again after a pause.

export const RESOURCE_EVENT = 'OnJsonApiEvent';

// The resource change in a stream message's data, or null when it is not one.
export function resourceChange(messageData) {
  let message;
  try {
    message = JSON.parse(messageData);
  } catch {
    return null;
  }
  const payload = message && message.payload;
  if (!payload || typeof payload !== 'object' || typeof payload.uri !== 'string') return null;
  return {
    uri: payload.uri,
    eventType: typeof payload.eventType === 'string' ? payload.eventType : String(payload.eventType),
    data: payload.data === undefined ? null : payload.data,
    source: message.source,
  };
}

// Calls onOpen() on each (re)connection, onChange(change) per resource change, and
// onState("live" | "reconnecting" | "offline"). Returns a function that stops listening.
export function listen(url, { onOpen, onChange, onState, retryMs = 5000, EventSourceImpl = globalThis.EventSource }) {
  let source = null;
  let timer = null;
  let stopped = false;

  const connect = () => {
    timer = null;
    if (stopped) return;
    source = new EventSourceImpl(url);
    source.addEventListener('open', () => {
      onState('live');
      onOpen();
    });
    source.addEventListener(RESOURCE_EVENT, (event) => {
      const change = resourceChange(event.data);
      if (change) onChange(change);
    });
    source.addEventListener('error', () => {
      if (stopped) return;
      if (source.readyState === EventSourceImpl.CLOSED) {
        onState('offline');
        source.close();
        timer = setTimeout(connect, retryMs);
      } else {
        onState('reconnecting');
      }
    });
  };
  connect();
  return () => {
    stopped = true;
    if (timer) clearTimeout(timer);
    if (source) source.close();
  };
}
