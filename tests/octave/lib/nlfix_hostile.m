function o = nlfix_hostile(S, r, model, varargin)
% Force function of the tests that pulls the ground from under the walk:
% clears every registered handle and the module itself, empties the
% caller's model (held in NLFIX_MODEL) and the model it was given,
% evaluates another model through the module, then returns a force of its
% own.
  global NLFIX_MODEL
  spardyn('chandleclear');
  clear spardyn
  NLFIX_MODEL.NL = {};
  NLFIX_MODEL.FNL = [];
  NLFIX_MODEL = [];
  model.NL = {};
  K = sparse_description(speye(2));
  inner = zeros(2, 1);
  spardyn('residual', inner, struct('K', {{K, K, K}}), [1; 2], [0; 0], [0; 0]);
  o = struct('snl', S.k .* reshape(S.unl(1:numel(S.k)), [], 1) + inner(1) - 1);
end
