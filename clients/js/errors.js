// The failures a page has to tell apart, as error classes: a page tests
// `error instanceof CancelledError` instead of comparing codes.

/** Raised when the host cannot be reached or the connection ends. */
export class ConnectionError extends Error {
  constructor(message) {
    super(message);
    this.name = "ConnectionError";
  }
}

/**
 * The host could not be reached at all: it is not running, or the browser
 * kept the page from reaching the local machine (Chrome's Local Network
 * Access asks the user first, and fails the connection until they allow it).
 */
export class HostNotRunningError extends ConnectionError {
  constructor(url) {
    super(`cannot connect to the host at ${url}: is it running? If it is, the browser may ` +
      "have blocked this site from reaching this computer (Chrome's Local Network Access: " +
      "allow the site to access devices on the local network)");
    this.name = "HostNotRunningError";
    this.url = url;
  }
}

/** A failed reply of the host: `code` and `errorMessage` are the host's. */
export class HostError extends Error {
  /** @param {import("./zorva-client.js").Message} reply */
  constructor(reply, text = reply.errorMessage || reply.error) {
    super(`${reply.code}: ${text}`);
    this.name = new.target.name;
    this.code = Number(reply.code);
    this.errorMessage = reply.errorMessage;
    this.reply = reply;
  }
}

/**
 * The user cancelled, closed the dialog or let it time out; or cancelled one
 * of this site's windows a short while ago, and the host holds its new ones
 * back for a while.
 */
export class CancelledError extends HostError {}

/** The token's PIN is locked: too many wrong PINs. */
export class PinLockedError extends HostError {}

/** No token in the reader, or it was removed during the operation. */
export class TokenMissingError extends HostError {}

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

const PENDING_CODE = 20001;
const PENDING_TEXT = "an action is already pending";

/** The codes of the host (application codes and PKCS#11 return values) behind each class. */
export const ERROR_CODES = Object.freeze({
  cancelled: [20003],
  // CKR_PIN_LOCKED
  pinLocked: [0xa4],
  // CKR_TOKEN_NOT_PRESENT, CKR_DEVICE_REMOVED, CKR_TOKEN_NOT_RECOGNIZED
  tokenMissing: [0xe0, 0x32, 0xe1],
  originRefused: [20025],
});

const CLASSES = [
  [ERROR_CODES.cancelled, CancelledError],
  [ERROR_CODES.pinLocked, PinLockedError],
  [ERROR_CODES.tokenMissing, TokenMissingError],
  [ERROR_CODES.originRefused, OriginRefusedError],
];

/**
 * The error for a failed reply: its typed class where the code has one, else
 * a plain HostError.
 * @param {import("./zorva-client.js").Message} reply
 * @returns {HostError}
 */
export function errorOf(reply) {
  const code = Number(reply.code);
  if (code === PENDING_CODE && String(reply.errorMessage ?? "").includes(PENDING_TEXT)) {
    return new PendingError(reply);
  }
  const [, Type] = CLASSES.find(([codes]) => codes.includes(code)) ?? [null, HostError];
  return new Type(reply);
}
