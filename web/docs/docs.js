// Interactive documentation of the loaded plugin's endpoints, from the document the host builds
// out of the plugin's API table. "Try it out" sends requests to the server the document names,
// which is this host under the name the page was loaded from.
/* global SwaggerUIBundle */
window.addEventListener("DOMContentLoaded", () => {
  window.ui = SwaggerUIBundle({
    url: "/devhost/v1/openapi.json",
    dom_id: "#swagger-ui",
    deepLinking: true,
    displayOperationId: true,
    defaultModelsExpandDepth: 0,
    presets: [SwaggerUIBundle.presets.apis],
    layout: "BaseLayout",
    // Nothing leaves the machine: no badge from an online validator.
    validatorUrl: null,
  });
});
