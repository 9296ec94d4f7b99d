// The failures a page has to tell apart, as error classes: a page tests
// `error instanceof CancelledError` instead of comparing codes. Every error
// of the host gets an English message; the host's own text, in the user's
// language or the host's, stays in `errorMessage`.

/** Raised when the host cannot be reached or the connection ends. */
export class ConnectionError extends Error {
  constructor(message) {
    super(message);
    this.name = new.target.name;
  }
}

/**
 * The host could not be reached at all: it is not running, or the browser
 * kept the page from reaching the local machine (Chrome's Local Network
 * Access asks the user first, and fails the connection until they allow it).
 */
export class HostNotRunningError extends ConnectionError {
  /** @param {string} url the WebSocket endpoint, or "the browser extension" */
  constructor(url) {
    super(url.startsWith("ws")
      ? `cannot connect to the host at ${url}: is it running? If it is, the browser may ` +
        "have blocked this site from reaching this computer (Chrome's Local Network Access: " +
        "allow the site to access devices on the local network)"
      : `${url} did not reach the signing program: is the program installed?`);
    this.url = url;
  }
}

/**
 * An open connection ended: the host stopped or was killed, or the extension
 * lost it. Requests still waiting, an upload in progress included, reject
 * with it; the next `connect` may find the host again.
 */
export class ConnectionLostError extends ConnectionError {
  /** @param {string} where the host's address, or "the browser extension" @param {string} why */
  constructor(where, why) {
    super(`the connection to the signing program (${where}) was lost: ${why}`);
    this.where = where;
    this.why = why;
  }
}

/** A failed reply of the host: `code` and `errorMessage` are the host's. */
export class HostError extends Error {
  /** @param {import("./zorva-client.js").Message} reply @param {string} text English */
  constructor(reply, text = "the signing program failed") {
    super(`${text} (code ${reply.code})`);
    this.name = new.target.name;
    this.code = Number(reply.code);
    this.errorMessage = reply.errorMessage || reply.error;
    this.reply = reply;
  }
}

/**
 * The user cancelled or closed the consent or approval window; or cancelled
 * one of this site's windows a short while ago, and the host holds its new
 * ones back for a while.
 */
export class CancelledError extends HostError {}

/** Nobody answered the host's window in time (or it had no display to ask on). */
export class TimedOutError extends CancelledError {}

/** The token's PIN is locked: too many wrong PINs. */
export class PinLockedError extends HostError {}

/** No token in the reader, or it was removed during the operation. */
export class TokenMissingError extends HostError {}

/** The token or its library failed otherwise. */
export class TokenError extends HostError {}

/**
 * The user has not allowed this site to use the host, refused it, or closed
 * the host's question about it a short while ago (the site is then not asked
 * again at once).
 */
export class OriginRefusedError extends HostError {}

/**
 * The host's window for an earlier request of this page is still queued or
 * shown: answer that one first. The host gives it the general code 20001
 * with "an action is already pending" in its message.
 */
export class PendingError extends HostError {}

/** The document the host received is not the one the page hashed. */
export class DocumentChangedError extends HostError {}

/** A document or request without content: an empty file, for one. */
export class NoDataError extends HostError {}

/** Beyond one of the host's limits: disk space, file, reply or upload size. */
export class LimitExceededError extends HostError {}

/** The host did not understand the request: a fault of the page or client. */
export class RequestError extends HostError {}

/** The host lacks the module or method the request asks for. */
export class UnsupportedError extends HostError {}

/** The time-stamp authority could not be reached or refused. */
export class TimeStampError extends HostError {}

/**
 * The host's codes (application codes and PKCS#11 return values) a page may
 * meet, with the class and English text of each.
 */
const TABLE = [
  [20001, HostError, "the signing program failed"],
  [20003, CancelledError, "the operation was cancelled in the signing program's window"],
  [20004, UnsupportedError, "the signing program lacks the module this needs"],
  [20005, UnsupportedError, "the signing program does not know this method"],
  [20006, NoDataError, "there is nothing to work on: the document is empty"],
  [20007, RequestError, "a file of the request has no id"],
  [20008, RequestError, "a file of the request has no name"],
  [20009, RequestError, "a file of the request was not found"],
  [20010, UnsupportedError, "the signing program cannot convert this content"],
  [20012, HostError, "the signing program's output is damaged"],
  [20013, UnsupportedError, "the signing program does not implement this"],
  [20014, TimeStampError, "the time-stamp server could not be reached"],
  [20015, RequestError, "the signing program did not understand the request"],
  [20016, TimeStampError, "the time-stamp server refused a time stamp"],
  [20017, TimeStampError, "the time stamp did not verify"],
  [20018, TimeStampError, "the time-stamp server failed"],
  [20019, LimitExceededError, "not enough free disk space on this computer"],
  [20020, DocumentChangedError, "the document changed on its way to the signing program"],
  [20021, LimitExceededError, "the document is larger than the signing program accepts"],
  [20022, RequestError, "the data of the request are malformed"],
  [20023, LimitExceededError, "the reply would be larger than the signing program sends"],
  [20024, HostError, "the signing program could not assemble the uploaded file"],
  [20025, OriginRefusedError, "this site is not allowed to use the signing program"],
  [20026, LimitExceededError, "the upload exceeds the signing program's limit"],
  [0x05, TokenError, "the token's library failed"],
  [0x30, TokenError, "the token failed"],
  [0x32, TokenMissingError, "the token was removed"],
  [0x60, TokenError, "the chosen key is not on the token"],
  [0x63, TokenError, "the key cannot do this operation"],
  [0xa0, TokenError, "the PIN is wrong"],
  [0xa3, TokenError, "the token's PIN has expired: change it first"],
  [0xa4, PinLockedError, "the token's PIN is locked"],
  [0xe0, TokenMissingError, "no token is present"],
  [0xe1, TokenMissingError, "the token is not recognised"],
];

// The host's text for a window that nobody answered in time.
const TIMED_OUT = "no answer from the user in time";
// The host ended the session: to a page, the connection is lost.
const SESSION_ENDED = 20002;
// A request while this page's earlier window is still queued or shown.
const PENDING_CODE = 20001;
const PENDING_TEXT = "an action is already pending";

/** The codes behind each class a page tests for. */
export const ERROR_CODES = Object.freeze(Object.fromEntries(
  [["cancelled", CancelledError], ["pinLocked", PinLockedError],
   ["tokenMissing", TokenMissingError], ["originRefused", OriginRefusedError],
   ["documentChanged", DocumentChangedError], ["noData", NoDataError],
   ["limitExceeded", LimitExceededError], ["request", RequestError],
   ["unsupported", UnsupportedError], ["token", TokenError], ["timeStamp", TimeStampError]]
    .map(([key, Type]) => [key, TABLE.filter(([, t]) => t === Type).map(([code]) => code)])));

/**
 * The error for a failed reply: its typed class with an English message,
 * a plain HostError for a code the table does not know.
 * @param {import("./zorva-client.js").Message} reply
 * @returns {HostError|ConnectionLostError}
 */
export function errorOf(reply) {
  const code = Number(reply.code);
  if (code === SESSION_ENDED)
    return new ConnectionLostError("the signing program", reply.errorMessage || reply.error);
  const [, Type, text] = TABLE.find(([known]) => known === code) ??
    [code, HostError, "the signing program failed"];
  const hostText = `${reply.errorMessage ?? ""} ${reply.error ?? ""}`;
  if (code === PENDING_CODE && hostText.includes(PENDING_TEXT))
    return new PendingError(reply, "an earlier request of this page still waits for the user");
  if (Type === CancelledError && hostText.includes(TIMED_OUT))
    return new TimedOutError(reply, "nobody answered the signing program's window in time");
  return new Type(reply, text);
}
