// What the page derives from the resources it follows: whether the player is signed in (the
// same rule the plugin applies to the login session) and the widget's configuration.

export const SESSION_URI = '/tev-login/v1/session';
export const CONFIGURATION_URI = '/tev-purchase-widget/v1/configuration';
export const LOCALE_URI = '/orvikclient/region-locale';

function nonZero(id) {
  if (typeof id === 'number') return id !== 0;
  // Account ids are 64-bit and may arrive as texts.
  if (typeof id === 'string') return /^[0-9]+$/.test(id) && /[1-9]/.test(id);
  return false;
}

// Signed in: the session has succeeded and names both a player and an account.
export function isSignedIn(session) {
  if (!session || typeof session !== 'object' || Array.isArray(session)) return false;
  const succeeded = session.state === 'SUCCEEDED' || session.state === 1;
  return succeeded && nonZero(session.accountId) && nonZero(session.tivanId);
}

// The configuration endpoint's answer (or the plugin's published event data) as two flags.
// Anything that is not exactly true counts as off.
export function readConfiguration(value) {
  const object = value && typeof value === 'object' ? value : {};
  return {
    enabled: object.enabled === true,
    purchaseDisclaimerEnabled: object.purchaseDisclaimerEnabled === true,
  };
}
