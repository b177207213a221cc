function o = nlfix_neither(S, r, model, u, v, a, opt, arg)
% Force function of the tests: a structure holding neither "snl" nor "unl".
  o = struct('force', S.k .* reshape(S.unl(1:numel(S.k)), [], 1));
end
